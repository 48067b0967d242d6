#include "LinkPayload.h"

#include "imports/PropertyListLimits.h"

#include <plist/plist.h>

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
    // The archive's stand-in for nil.
    return value == QLatin1String("$null") ? QString() : value;
}

// An archive's objects refer to each other by index (UID) into $objects.
class KeyedArchive
{
public:
    explicit KeyedArchive(plist_t objects)
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

    plist_t member(plist_t object, const char* key) const
    {
        return object && plist_get_node_type(object) == PLIST_DICT ? resolve(plist_dict_get_item(object, key))
                                                                    : nullptr;
    }

    // The first object whose class is className.
    plist_t objectOfClass(const char* className) const
    {
        for (uint32_t i = 0; i < size; ++i) {
            plist_t object = plist_array_get_item(objects, i);
            if (textOf(member(member(object, "$class"), "$classname")) == QLatin1String(className))
                return object;
        }
        return nullptr;
    }

    // The kind a specialized metadata object's class names: shared places,
    // App Store and Apple Music previews, iCloud collaborations.
    QString specialization() const
    {
        static const char* const kinds[][2] = {{"LPMap", "place"},
                                               {"LPiTunesMediaSoftware", "App Store"},
                                               {"LPAppStore", "App Store"},
                                               {"LPiTunesMedia", "Apple Music"},
                                               {"LPAppleMusic", "Apple Music"},
                                               {"Collaboration", "collaboration"}};
        for (uint32_t i = 0; i < size; ++i) {
            const QString name = textOf(member(plist_array_get_item(objects, i), "$classname"));
            if (name.isEmpty())
                continue;
            for (const auto& k : kinds) {
                if (name.startsWith(QLatin1String(k[0])) || (k[0][0] != 'L' && name.contains(QLatin1String(k[0]))))
                    return QString::fromLatin1(k[1]);
            }
        }
        return QString();
    }

    // An NSURL is archived as a dictionary around its string.
    QString urlOf(plist_t node) const
    {
        return node && plist_get_node_type(node) == PLIST_DICT ? textOf(member(node, "NS.relative")) : textOf(node);
    }

private:
    plist_t objects;
    uint32_t size;
};

} // namespace

bool LinkPayload::parse(const QByteArray& blob, QString* title, QString* summary, QString* url)
{
    QString kind;
    return parse(blob, title, summary, url, &kind);
}

bool LinkPayload::parse(const QByteArray& blob, QString* title, QString* summary, QString* url, QString* kind)
{
    if (blob.size() < 8 || !plist_is_binary(blob.constData(), static_cast<uint32_t>(blob.size()))
        || !PropertyListLimits::binaryAcceptable(blob.constData(), static_cast<size_t>(blob.size())))
        return false;
    plist_t node = nullptr;
    plist_from_bin(blob.constData(), static_cast<uint32_t>(blob.size()), &node);
    const std::unique_ptr<void, PlistFree> root(node);
    if (!node || plist_get_node_type(node) != PLIST_DICT)
        return false;
    plist_t objects = plist_dict_get_item(node, "$objects");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY)
        return false;

    const KeyedArchive archive(objects);
    *kind = archive.specialization();
    plist_t metadata = archive.objectOfClass("LPLinkMetadata");
    if (!metadata)
        return true;
    *title = textOf(archive.member(metadata, "title"));
    *summary = textOf(archive.member(metadata, "summary"));
    *url = archive.urlOf(archive.member(metadata, "URL"));
    if (url->isEmpty())
        *url = archive.urlOf(archive.member(metadata, "originalURL"));
    return true;
}
