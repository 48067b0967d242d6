// Key derivation, key unwrapping and AES-256-CBC decryption of encrypted
// computer backups, over OpenSSL's libcrypto.
#pragma once

#include <QByteArray>
#include <QString>

class BackupCrypto
{
public:
    // PBKDF2 with HMAC-SHA1 or HMAC-SHA256; empty on failure.
    static QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, int iterations, int length);
    static QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length);

    // AES key unwrap (RFC 3394) with a 256-bit key; empty when the wrapped
    // key fails its integrity check, as it does under a wrong key.
    static QByteArray unwrapKey(const QByteArray& kek, const QByteArray& wrapped);

    // AES-256-CBC with a zero IV over a whole buffer, padding left in place.
    // Empty when the length is no whole number of blocks.
    static QByteArray decrypt(const QByteArray& key, const QByteArray& cipherText);

    enum class FileResult { Done, Truncated, Failed };
    // Decrypts source into target (created 0600) and cuts the plain text to
    // size; size < 0 strips the PKCS#7 padding instead. Truncated when the
    // source is shorter than size or no whole number of blocks.
    static FileResult decryptFile(const QByteArray& key, const QString& source, const QString& target, qint64 size);

    // Length of text without its PKCS#7 padding; the full length when the
    // padding is not valid.
    static int unpaddedLength(const QByteArray& text);
};
