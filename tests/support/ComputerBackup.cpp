#include "ComputerBackup.h"

#include "FixtureDatabase.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using Plist = std::unique_ptr<void, decltype(&plist_free)>;

QByteArray bytesOf(plist_t node, bool binary)
{
    char* out = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(node, &out, &length);
    else
        plist_to_xml(node, &out, &length);
    const QByteArray bytes(out, static_cast<int>(length));
    std::free(out);
    return bytes;
}

plist_t data(const QByteArray& bytes)
{
    return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
}

QByteArray keyFor(const QString& seed)
{
    return QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256);
}

QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray littleEndian(quint32 value)
{
    QByteArray bytes = bigEndian(value);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

QByteArray tlv(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + bigEndian(static_cast<quint32>(value.size())) + value;
}

QByteArray tlv(const char* tag, quint32 value)
{
    return tlv(tag, bigEndian(value));
}

// RFC 3394 wrap, or AES-256-CBC with a zero IV and PKCS#7 padding.
QByteArray encrypt(const EVP_CIPHER* cipher, const QByteArray& key, const QByteArray& plain)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    const unsigned char zero[16] = {};
    QByteArray out(plain.size() + 32, Qt::Uninitialized);
    int length = 0;
    int last = 0;
    const bool ok =
        EVP_EncryptInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                           cipher == EVP_aes_256_cbc() ? zero : nullptr)
            == 1
        && EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                             reinterpret_cast<const unsigned char*>(plain.constData()), plain.size())
            == 1
        && EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(out.data()) + length, &last) == 1;
    EXPECT_TRUE(ok);
    out.truncate(length + last);
    return out;
}

QByteArray derive(const QByteArray& password, const QByteArray& salt, int iterations, const EVP_MD* digest)
{
    QByteArray key(32, Qt::Uninitialized);
    PKCS5_PBKDF2_HMAC(password.constData(), password.size(), reinterpret_cast<const unsigned char*>(salt.constData()),
                      salt.size(), iterations, digest, 32, reinterpret_cast<unsigned char*>(key.data()));
    return key;
}

// The archived MBFile of one file, as the Files.file column holds it.
QByteArray fileRecord(const QString& relativePath, qint64 size, quint32 protectionClass, const QByteArray& encryptionKey)
{
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t file = plist_new_dict();
    plist_dict_set_item(file, "$class", plist_new_uid(3));
    plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
    plist_dict_set_item(file, "Size", plist_new_uint(static_cast<uint64_t>(size)));
    plist_dict_set_item(file, "ProtectionClass", plist_new_uint(protectionClass));
    plist_dict_set_item(file, "Mode", plist_new_uint(0100644));
    if (!encryptionKey.isEmpty())
        plist_dict_set_item(file, "EncryptionKey", plist_new_uid(4));
    plist_array_append_item(objects, file);
    plist_array_append_item(objects, plist_new_string(relativePath.toUtf8().constData()));
    plist_t fileClass = plist_new_dict();
    plist_dict_set_item(fileClass, "$classname", plist_new_string("MBFile"));
    plist_array_append_item(objects, fileClass);
    if (!encryptionKey.isEmpty()) {
        plist_t keyData = plist_new_dict();
        plist_dict_set_item(keyData, "NS.data", data(encryptionKey));
        plist_dict_set_item(keyData, "$class", plist_new_uid(5));
        plist_array_append_item(objects, keyData);
        plist_t dataClass = plist_new_dict();
        plist_dict_set_item(dataClass, "$classname", plist_new_string("NSMutableData"));
        plist_array_append_item(objects, dataClass);
    }
    Plist archive(plist_new_dict(), &plist_free);
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(archive.get(), "$top", top);
    plist_dict_set_item(archive.get(), "$objects", objects);
    return bytesOf(archive.get(), true);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    EXPECT_TRUE(ok) << path.toStdString();
    return ok;
}

} // namespace

QString ComputerBackup::dataPath(const QString& domain, const QString& relativePath)
{
    const QString id = QString::fromLatin1(
        QCryptographicHash::hash((domain + QLatin1Char('-') + relativePath).toUtf8(), QCryptographicHash::Sha1)
            .toHex());
    return id.left(2) + QLatin1Char('/') + id;
}

QString ComputerBackup::listing(const QString& folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        QByteArray hash;
        if (info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QDir(folder).relativeFilePath(info.filePath()), QString::number(info.size()),
                          QString::number(info.lastModified().toMSecsSinceEpoch()),
                          QString::number(static_cast<int>(info.permissions()), 16), QString::fromLatin1(hash));
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

QString ComputerBackup::contents(const QString& folder, const QStringList& paths)
{
    QStringList lines;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
        for (const QString& path : paths)
            content.replace(path.toUtf8(), "@BACKUP@");
        lines << QDir(folder).relativeFilePath(file.fileName()) + QLatin1Char(' ')
                + QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

bool ComputerBackup::write(const QString& source, const QString& target) const
{
    const bool encrypted = !password.isEmpty();
    // Protection classes 1 to 4, each with a key of its own; the manifest uses class 4.
    QByteArray keyBag = tlv("VERS", keyBagVersion) + tlv("TYPE", 1) + tlv("UUID", keyFor(QStringLiteral("bag")).left(16))
        + tlv("HMCK", keyFor(QStringLiteral("hmck")) + QByteArray(8, 'h')) + tlv("WRAP", 0);
    const QByteArray salt = keyFor(QStringLiteral("salt")).left(20);
    const QByteArray passwordSalt = keyFor(QStringLiteral("dpsl")).left(20);
    keyBag += tlv("SALT", salt) + tlv("ITER", iterations) + tlv("DPWT", 1) + tlv("DPIC", passwordIterations)
        + tlv("DPSL", passwordSalt);
    const QByteArray passwordKey = derive(derive(password.toUtf8(), passwordSalt, passwordIterations, EVP_sha256()), salt,
                                          iterations, EVP_sha1());
    for (quint32 protectionClass = 1; protectionClass <= 4; ++protectionClass) {
        const QByteArray classKey = keyFor(QStringLiteral("class %1").arg(protectionClass));
        keyBag += tlv("UUID", keyFor(QStringLiteral("uuid %1").arg(protectionClass)).left(16))
            + tlv("CLAS", protectionClass) + tlv("WRAP", 2) + tlv("KTYP", 0)
            + tlv("WPKY", encrypt(EVP_aes_256_wrap(), passwordKey, classKey));
    }

    QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/manifest.sql"));
    // A row the view has no use for, and the folder rows a real manifest holds.
    sql += QStringLiteral("INSERT INTO Files VALUES ('%1', 'HomeDomain', 'Library/Preferences/x.plist', 1, NULL);\n")
               .arg(QString(64, QLatin1Char('0')).left(40));
    sql += QStringLiteral("INSERT INTO Files VALUES ('%1', 'MediaDomain', 'Library/SMS/Attachments', 2, NULL);\n")
               .arg(QString(40, QLatin1Char('1')));
    QDirIterator it(source, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(source).relativeFilePath(path);
        const QString domain = relative.startsWith(QLatin1String("SMS/Attachments/")) ? QStringLiteral("MediaDomain")
                                                                                       : QStringLiteral("HomeDomain");
        const QString deviceRelative = QStringLiteral("Library/") + relative;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray content = file.readAll();
        const quint32 protectionClass = domain == QLatin1String("MediaDomain") ? 4 : 3;
        QByteArray encryptionKey;
        QByteArray stored = content;
        if (encrypted) {
            const QByteArray fileKey = keyFor(QStringLiteral("file ") + deviceRelative);
            encryptionKey = littleEndian(protectionClass)
                + encrypt(EVP_aes_256_wrap(), keyFor(QStringLiteral("class %1").arg(protectionClass)), fileKey);
            stored = encrypt(EVP_aes_256_cbc(), fileKey, content);
        }
        const QString data = dataPath(domain, deviceRelative);
        if (!writeBytes(QDir(target).filePath(data), stored))
            return false;
        QString escaped = deviceRelative;
        escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
        sql += QStringLiteral("INSERT INTO Files VALUES ('%1', '%2', '%3', 1, X'%4');\n")
                   .arg(data.mid(3), domain, escaped,
                        QString::fromLatin1(fileRecord(deviceRelative, content.size(), protectionClass, encryptionKey).toHex()));
    }
    const QString manifestPath = QDir(target).filePath(QStringLiteral("Manifest.db"));
    QString error;
    if (!FixtureDatabase::create(manifestPath, sql, FixtureDatabase::Journal::Rollback, &error)) {
        ADD_FAILURE() << error.toStdString();
        return false;
    }

    Plist manifest(plist_new_dict(), &plist_free);
    plist_dict_set_item(manifest.get(), "IsEncrypted", plist_new_bool(encrypted));
    plist_dict_set_item(manifest.get(), "Version", plist_new_string("10.0"));
    if (encrypted) {
        plist_dict_set_item(manifest.get(), "BackupKeyBag", data(keyBag));
        const QByteArray manifestKey = keyFor(QStringLiteral("manifest"));
        plist_dict_set_item(manifest.get(), "ManifestKey",
                            data(littleEndian(4)
                                 + encrypt(EVP_aes_256_wrap(), keyFor(QStringLiteral("class 4")), manifestKey)));
        QFile plain(manifestPath);
        if (!plain.open(QIODevice::ReadOnly))
            return false;
        const QByteArray cipher = encrypt(EVP_aes_256_cbc(), manifestKey, plain.readAll());
        plain.close();
        if (!writeBytes(manifestPath, cipher))
            return false;
    }
    Plist info(plist_new_dict(), &plist_free);
    plist_dict_set_item(info.get(), "Device Name", plist_new_string("Test iPhone"));
    plist_dict_set_item(info.get(), "Product Version", plist_new_string("16.4"));
    Plist status(plist_new_dict(), &plist_free);
    plist_dict_set_item(status.get(), "BackupState", plist_new_string("new"));
    plist_dict_set_item(status.get(), "SnapshotState", plist_new_string(snapshotState.toUtf8().constData()));
    plist_dict_set_item(status.get(), "IsFullBackup", plist_new_bool(0));
    // The computer writes Manifest.plist and Status.plist binary, Info.plist as XML.
    return writeBytes(QDir(target).filePath(QStringLiteral("Manifest.plist")), bytesOf(manifest.get(), true))
        && writeBytes(QDir(target).filePath(QStringLiteral("Info.plist")), bytesOf(info.get(), false))
        && writeBytes(QDir(target).filePath(QStringLiteral("Status.plist")), bytesOf(status.get(), true));
}
