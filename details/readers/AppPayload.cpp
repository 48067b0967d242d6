#include "AppPayload.h"

#include "imports/PropertyListLimits.h"

#include <plist/plist.h>

#include <algorithm>
#include <memory>

namespace {

struct PlistFree
{
    void operator()(void* node) const { plist_free(node); }
};

QString textOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text || length >= 0x7FFFFFFF)
        return QString();
    const QString value = QString::fromUtf8(text, static_cast<int>(length));
    return value == QLatin1String("$null") ? QString() : value;
}

class Archive
{
public:
    explicit Archive(plist_t objects)
        : objects(objects), size(plist_array_get_size(objects))
    {
    }

    plist_t resolve(plist_t node) const
    {
        if (!node || plist_get_node_type(node) != PLIST_UID)
            return node;
        uint64_t index = 0;
        plist_get_uid_val(node, &index);
        return index < size ? plist_array_get_item(objects, static_cast<uint32_t>(index)) : nullptr;
    }

    // A member of an archived NSDictionary (its keys and values in two
    // arrays of references), or of an object archived as a plain dictionary.
    plist_t value(plist_t dictionary, const char* key) const
    {
        if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT)
            return nullptr;
        plist_t keys = plist_dict_get_item(dictionary, "NS.keys");
        plist_t values = plist_dict_get_item(dictionary, "NS.objects");
        if (!keys || !values || plist_get_node_type(keys) != PLIST_ARRAY || plist_get_node_type(values) != PLIST_ARRAY)
            return resolve(plist_dict_get_item(dictionary, key));
        const uint32_t count = std::min(plist_array_get_size(keys), plist_array_get_size(values));
        for (uint32_t i = 0; i < count; ++i) {
            if (textOf(resolve(plist_array_get_item(keys, i))) == QLatin1String(key))
                return resolve(plist_array_get_item(values, i));
        }
        return nullptr;
    }

    QString text(plist_t dictionary, const char* key) const
    {
        plist_t node = value(dictionary, key);
        // An NSURL, or an NSString archived as an object of its own.
        if (node && plist_get_node_type(node) == PLIST_DICT) {
            if (plist_t relative = plist_dict_get_item(node, "NS.relative"))
                return textOf(resolve(relative));
            if (plist_t string = plist_dict_get_item(node, "NS.string"))
                return textOf(resolve(string));
        }
        return textOf(node);
    }

private:
    plist_t objects;
    uint32_t size;
};

} // namespace

bool AppPayload::parse(const QByteArray& blob, AppPayload* payload)
{
    *payload = AppPayload();
    if (blob.size() < 8 || !plist_is_binary(blob.constData(), static_cast<uint32_t>(blob.size()))
        || !PropertyListLimits::binaryAcceptable(blob.constData(), static_cast<size_t>(blob.size())))
        return false;
    plist_t node = nullptr;
    plist_from_bin(blob.constData(), static_cast<uint32_t>(blob.size()), &node);
    const std::unique_ptr<void, PlistFree> root(node);
    if (!node || plist_get_node_type(node) != PLIST_DICT)
        return false;
    plist_t objects = plist_dict_get_item(node, "$objects");
    plist_t top = plist_dict_get_item(node, "$top");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
        return false;
    const Archive archive(objects);
    plist_t message = archive.resolve(plist_dict_get_item(top, "root"));
    payload->appName = archive.text(message, "an");
    payload->summary = archive.text(message, "ldtext");
    plist_t layout = archive.value(message, "userInfo");
    payload->caption = archive.text(layout, "caption");
    payload->subcaption = archive.text(layout, "subcaption");
    payload->imageTitle = archive.text(layout, "image-title");
    payload->imageSubtitle = archive.text(layout, "image-subtitle");
    payload->trailingCaption = archive.text(layout, "secondary-subcaption");
    payload->trailingSubcaption = archive.text(layout, "tertiary-subcaption");
    return true;
}
