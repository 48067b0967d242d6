#include "FileRecord.h"

#include "PropertyList.h"

namespace {

// The object a UID of the archive points at, in its "$objects" array.
PropertyList::Node resolve(PropertyList::Node objects, PropertyList::Node node)
{
    quint64 index = 0;
    return PropertyList::uid(node, &index) ? PropertyList::element(objects, index) : node;
}

} // namespace

bool FileRecord::parse(const QByteArray& archive, FileRecord* record)
{
    *record = FileRecord();
    const PropertyList list = PropertyList::fromData(archive);
    const PropertyList::Node objects = PropertyList::item(list.top(), "$objects");
    const PropertyList::Node root =
        resolve(objects, PropertyList::item(PropertyList::item(list.top(), "$top"), "root"));
    if (!root || !PropertyList::item(root, "$class"))
        return false;

    quint64 number = 0;
    if (PropertyList::integer(PropertyList::item(root, "Size"), &number) && number <= quint64(1) << 62)
        record->size = static_cast<qint64>(number);
    if (PropertyList::integer(PropertyList::item(root, "ProtectionClass"), &number) && number <= 0xffffffffu)
        record->protectionClass = static_cast<quint32>(number);

    // The key is an archived NSData: a dictionary holding NS.data, or plain data.
    const PropertyList::Node key = resolve(objects, PropertyList::item(root, "EncryptionKey"));
    QByteArray bytes = PropertyList::data(key);
    if (bytes.isEmpty())
        bytes = PropertyList::data(PropertyList::item(key, "NS.data"));
    if (bytes.size() > 4)
        record->wrappedKey = bytes.mid(4);
    return true;
}
