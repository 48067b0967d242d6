#include "KeyedArchive.h"

#include "imports/PropertyListLimits.h"

#include <algorithm>

KeyedArchive::KeyedArchive(const QByteArray& blob)
{
    if (blob.size() < 8 || !plist_is_binary(blob.constData(), static_cast<uint32_t>(blob.size()))
        || !PropertyListLimits::binaryAcceptable(blob.constData(), static_cast<size_t>(blob.size())))
        return;
    plist_t node = nullptr;
    plist_from_bin(blob.constData(), static_cast<uint32_t>(blob.size()), &node);
    root.reset(node);
    if (!node || plist_get_node_type(node) != PLIST_DICT)
        return;
    plist_t list = plist_dict_get_item(node, "$objects");
    if (!list || plist_get_node_type(list) != PLIST_ARRAY)
        return;
    objects = list;
    size = plist_array_get_size(list);
}

bool KeyedArchive::hasTop() const
{
    plist_t top = valid() ? plist_dict_get_item(root.get(), "$top") : nullptr;
    return top && plist_get_node_type(top) == PLIST_DICT;
}

plist_t KeyedArchive::top(const char* key) const
{
    plist_t top = valid() ? plist_dict_get_item(root.get(), "$top") : nullptr;
    return top && plist_get_node_type(top) == PLIST_DICT ? resolve(plist_dict_get_item(top, key)) : nullptr;
}

plist_t KeyedArchive::resolve(plist_t node) const
{
    if (!node || plist_get_node_type(node) != PLIST_UID)
        return node;
    uint64_t index = 0;
    plist_get_uid_val(node, &index);
    return index < size ? plist_array_get_item(objects, static_cast<uint32_t>(index)) : nullptr;
}

plist_t KeyedArchive::member(plist_t object, const char* key) const
{
    return object && plist_get_node_type(object) == PLIST_DICT ? resolve(plist_dict_get_item(object, key)) : nullptr;
}

plist_t KeyedArchive::value(plist_t dictionary, const char* key) const
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

QString KeyedArchive::text(plist_t dictionary, const char* key) const
{
    plist_t node = value(dictionary, key);
    if (node && plist_get_node_type(node) == PLIST_DICT) {
        if (plist_t relative = plist_dict_get_item(node, "NS.relative"))
            return textOf(resolve(relative));
        if (plist_t string = plist_dict_get_item(node, "NS.string"))
            return textOf(resolve(string));
    }
    return textOf(node);
}

plist_t KeyedArchive::objectOfClass(const char* className) const
{
    for (uint32_t i = 0; i < size; ++i) {
        plist_t candidate = object(i);
        if (textOf(member(member(candidate, "$class"), "$classname")) == QLatin1String(className))
            return candidate;
    }
    return nullptr;
}

QString KeyedArchive::textOf(plist_t node)
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
