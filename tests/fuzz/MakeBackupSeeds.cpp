// Writes the seed corpus of the backup-records fuzzer: a keybag and archived
// file records shaped like a real backup's, and broken variants.
#include <QDir>
#include <QFile>

#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray tlv(const char* tag, const QByteArray& value)
{
    QByteArray record(tag, 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        record.append(static_cast<char>((value.size() >> shift) & 0xff));
    return record + value;
}

QByteArray number(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray fileRecord(bool withKey)
{
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t file = plist_new_dict();
    plist_dict_set_item(file, "$class", plist_new_uid(2));
    plist_dict_set_item(file, "Size", plist_new_uint(1234));
    plist_dict_set_item(file, "ProtectionClass", plist_new_uint(3));
    if (withKey)
        plist_dict_set_item(file, "EncryptionKey", plist_new_uid(3));
    plist_array_append_item(objects, file);
    plist_t fileClass = plist_new_dict();
    plist_dict_set_item(fileClass, "$classname", plist_new_string("MBFile"));
    plist_array_append_item(objects, fileClass);
    plist_t key = plist_new_dict();
    plist_dict_set_item(key, "NS.data", plist_new_data(QByteArray(44, 'k').constData(), 44));
    plist_array_append_item(objects, key);
    plist_t archive = plist_new_dict();
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(archive, "$top", top);
    plist_dict_set_item(archive, "$objects", objects);
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_bin(archive, &out, &length);
    const QByteArray bytes(out, static_cast<int>(length));
    std::free(out);
    plist_free(archive);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QByteArray bag = tlv("VERS", number(4)) + tlv("TYPE", number(1)) + tlv("UUID", QByteArray(16, 'u'))
        + tlv("WRAP", number(0)) + tlv("SALT", QByteArray(20, 's')) + tlv("ITER", number(10))
        + tlv("DPIC", number(1)) + tlv("DPSL", QByteArray(20, 'd'));
    for (quint32 protectionClass = 1; protectionClass <= 3; ++protectionClass) {
        bag += tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", number(protectionClass)) + tlv("WRAP", number(2))
            + tlv("KTYP", number(0)) + tlv("WPKY", QByteArray(40, 'w'));
    }
    // The first byte picks the reader: even the keybag, odd the file record.
    const QList<QByteArray> seeds{
        '\0' + bag, '\0' + bag.left(bag.size() / 2), '\2' + bag.mid(12),
        '\1' + fileRecord(true), '\1' + fileRecord(false), '\3' + fileRecord(true).left(60),
    };
    int index = 0;
    for (const QByteArray& seed : seeds) {
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(index++, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}
