#include "MbdbReader.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

// Big-endian fields over a bounded buffer; once a read runs past the end
// every later read fails too.
class Cursor
{
public:
    Cursor(const QByteArray& data, int start)
        : bytes(reinterpret_cast<const unsigned char*>(data.constData()))
        , size(data.size())
        , pos(start)
    {
    }

    bool atEnd() const { return pos == size; }
    bool ok() const { return good; }

    quint64 number(int width)
    {
        if (!take(width))
            return 0;
        quint64 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | bytes[pos - width + i];
        return value;
    }

    // A 16-bit length then that many bytes; 0xFFFF stands for none.
    QByteArray string()
    {
        const quint64 length = number(2);
        if (!good || length == 0xffff || length == 0)
            return QByteArray();
        const int start = pos;
        if (!take(static_cast<int>(length)))
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(bytes + start), static_cast<int>(length));
    }

    void skipString()
    {
        const quint64 length = number(2);
        if (good && length != 0xffff)
            take(static_cast<int>(length));
    }

private:
    bool take(int count)
    {
        if (!good || count > size - pos) {
            good = false;
            return false;
        }
        pos += count;
        return true;
    }

    const unsigned char* bytes;
    int size;
    int pos;
    bool good = true;
};

// The files a folder laid out like Library needs, as ManifestReader selects
// them from Manifest.db.
bool wanted(const QString& domain, const QString& path)
{
    if (domain == QLatin1String("MediaDomain"))
        return path.startsWith(QLatin1String("Library/SMS/Attachments/"));
    if (domain != QLatin1String("HomeDomain"))
        return false;
    for (const char* name : {"Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
                             "Library/AddressBook/AddressBook.db"}) {
        if (path == QLatin1String(name) || path == QLatin1String(name) + QLatin1String("-wal"))
            return true;
    }
    return false;
}

constexpr quint64 typeMask = 0xf000;
constexpr quint64 regularFile = 0x8000;

} // namespace

bool MbdbReader::read(const QString& manifestPath, std::vector<ManifestEntry>* entries)
{
    entries->clear();
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxManifestSize)
        return false;
    const QByteArray data = file.readAll();
    return data.size() <= maxManifestSize && parse(data, entries);
}

bool MbdbReader::parse(const QByteArray& data, std::vector<ManifestEntry>* entries)
{
    entries->clear();
    if (!data.startsWith(QByteArray("mbdb\x05\x00", 6)))
        return false;
    Cursor cursor(data, 6);
    while (!cursor.atEnd()) {
        ManifestEntry entry;
        const QByteArray domain = cursor.string();
        const QByteArray path = cursor.string();
        cursor.skipString(); // link target
        cursor.skipString(); // data hash
        const QByteArray key = cursor.string();
        const quint64 mode = cursor.number(2);
        cursor.number(8);                     // inode
        cursor.number(4);                     // user
        cursor.number(4);                     // group
        for (int time = 0; time < 3; ++time)
            cursor.number(4);                 // modified, accessed and created
        cursor.number(8);                     // recorded size, see below
        const quint64 protectionClass = cursor.number(1);
        const quint64 properties = cursor.number(1);
        for (quint64 i = 0; i < properties && cursor.ok(); ++i) {
            cursor.skipString();
            cursor.skipString();
        }
        if (!cursor.ok())
            return false;

        entry.domain = QString::fromUtf8(domain);
        entry.relativePath = QString::fromUtf8(path);
        if ((mode & typeMask) != regularFile || !wanted(entry.domain, entry.relativePath)
            || !ManifestReader::isSafePath(entry.relativePath))
            continue;
        entry.fileID = QString::fromLatin1(
            QCryptographicHash::hash(domain + '-' + path, QCryptographicHash::Sha1).toHex());
        // The key field is as in Manifest.db's records: the class, 32-bit
        // little-endian, then the wrapped key.
        entry.record.protectionClass = static_cast<quint32>(protectionClass);
        if (key.size() > 4) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(key.constData());
            entry.record.protectionClass =
                bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (quint32(bytes[3]) << 24);
            entry.record.wrappedKey = key.mid(4);
        }
        // iOS 9 records sizes smaller than the files (the message database
        // by a third); the padding tells the real length.
        entry.record.size = -1;
        entries->push_back(std::move(entry));
    }
    return true;
}
