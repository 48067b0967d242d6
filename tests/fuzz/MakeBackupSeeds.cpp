// Writes the seed corpus of the backup-records fuzzer: a keybag and an
// archived file record shaped like a real backup's, and broken variants. The
// first byte of a seed picks the reader: even the keybag, odd the record.
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray tlv(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + QByteArray::fromHex(QByteArray::number(value.size(), 16).rightJustified(8, '0')) + value;
}

QByteArray number(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

// libplist reads XML as well as the binary form the manifest stores.
const char* const fileRecord = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>
<key>$objects</key><array><string>$null</string>
<dict><key>$class</key><dict><key>CF$UID</key><integer>2</integer></dict><key>Size</key><integer>1234</integer>
<key>ProtectionClass</key><integer>3</integer><key>EncryptionKey</key><dict><key>CF$UID</key><integer>3</integer></dict></dict>
<dict><key>$classname</key><string>MBFile</string></dict>
<dict><key>NS.data</key><data>AwAAAGtra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2s=</data></dict>
</array></dict></plist>)";

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QByteArray bag = tlv("VERS", number(4)) + tlv("UUID", QByteArray(16, 'u')) + tlv("SALT", QByteArray(20, 's'))
        + tlv("ITER", number(10)) + tlv("DPIC", number(1)) + tlv("DPSL", QByteArray(20, 'd'));
    for (quint32 protectionClass = 1; protectionClass <= 3; ++protectionClass)
        bag += tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", number(protectionClass)) + tlv("WRAP", number(2))
            + tlv("WPKY", QByteArray(40, 'w'));
    const QByteArray record(fileRecord);
    const QList<QByteArray> seeds{'\0' + bag, '\0' + bag.left(bag.size() / 2), '\1' + record, '\1' + record.left(300)};
    int index = 0;
    for (const QByteArray& seed : seeds) {
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(index++, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}
