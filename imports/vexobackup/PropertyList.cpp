#include "PropertyList.h"

#include "PropertyListLimits.h"

#include <QFile>

#include <plist/plist.h>

PropertyList PropertyList::fromData(const QByteArray& data)
{
    PropertyList list;
    // Too deep or too big a list is refused before libplist walks it.
    if (data.isEmpty() || !PropertyListLimits::acceptable(data.constData(), static_cast<size_t>(data.size())))
        return list;
    plist_t node = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &node);
    if (node)
        list.root = std::unique_ptr<void, void (*)(void*)>(node, plist_free);
    return list;
}

PropertyList PropertyList::fromFile(const QString& path, qint64 maxSize)
{
    FileRead outcome = FileRead::Done;
    return fromFile(path, maxSize, &outcome);
}

PropertyList PropertyList::fromFile(const QString& path, qint64 maxSize, FileRead* outcome)
{
    QFile file(path);
    if (!file.exists()) {
        *outcome = FileRead::Missing;
        return PropertyList();
    }
    if (file.size() > maxSize) {
        *outcome = FileRead::TooLarge;
        return PropertyList();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *outcome = FileRead::Unreadable;
        return PropertyList();
    }
    // Read no further than the limit, whatever the file has grown to meanwhile.
    PropertyList list = fromData(file.read(maxSize));
    *outcome = list.isValid() ? FileRead::Done : FileRead::Invalid;
    return list;
}

PropertyList::Node PropertyList::item(Node dict, const char* key)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return nullptr;
    return plist_dict_get_item(dict, key);
}

PropertyList::Node PropertyList::element(Node array, quint64 index)
{
    if (!array || plist_get_node_type(array) != PLIST_ARRAY || index >= plist_array_get_size(array))
        return nullptr;
    return plist_array_get_item(array, static_cast<uint32_t>(index));
}

QString PropertyList::string(Node node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, static_cast<int>(length)) : QString();
}

QByteArray PropertyList::data(Node node)
{
    if (!node || plist_get_node_type(node) != PLIST_DATA)
        return QByteArray();
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    return bytes ? QByteArray(bytes, static_cast<int>(length)) : QByteArray();
}

bool PropertyList::boolean(Node node, bool fallback)
{
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return fallback;
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

QDateTime PropertyList::date(Node node)
{
    if (!node || plist_get_node_type(node) != PLIST_DATE)
        return QDateTime();
    int32_t seconds = 0;
    int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    // Seconds since the start of 2001, as every Apple date.
    static const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.addMSecs(qint64(seconds) * 1000 + microseconds / 1000);
}

bool PropertyList::integer(Node node, quint64* value)
{
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return false;
    uint64_t number = 0;
    plist_get_uint_val(node, &number);
    *value = number;
    return true;
}

bool PropertyList::uid(Node node, quint64* value)
{
    if (!node || plist_get_node_type(node) != PLIST_UID)
        return false;
    uint64_t number = 0;
    plist_get_uid_val(node, &number);
    *value = number;
    return true;
}
