#include "BackupCrypto.h"

#include "OwnerMark.h"
#include "ViewCancel.h"

#include <QFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int blockSize = 16;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext newContext()
{
    return CipherContext(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
}

QByteArray pbkdf2(const QByteArray& password, const QByteArray& salt, int iterations, int length, const EVP_MD* digest)
{
    if (iterations < 1 || length < 1)
        return QByteArray();
    QByteArray key(length, Qt::Uninitialized);
    const int ok = PKCS5_PBKDF2_HMAC(password.constData(), password.size(),
                                     reinterpret_cast<const unsigned char*>(salt.constData()), salt.size(), iterations,
                                     digest, length, reinterpret_cast<unsigned char*>(key.data()));
    if (ok != 1) {
        OPENSSL_cleanse(key.data(), static_cast<size_t>(key.size()));
        return QByteArray();
    }
    return key;
}

// AES-256-CBC with a zero IV, no padding: the caller cuts the plain text.
CipherContext cbcDecryptor(const QByteArray& key)
{
    CipherContext context = newContext();
    static const unsigned char zeroIv[blockSize] = {};
    if (!context || key.size() != 32
        || EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr,
                              reinterpret_cast<const unsigned char*>(key.constData()), zeroIv)
            != 1)
        return CipherContext(nullptr, &EVP_CIPHER_CTX_free);
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    return context;
}

bool update(EVP_CIPHER_CTX* context, const char* in, int length, char* out)
{
    int written = 0;
    return EVP_DecryptUpdate(context, reinterpret_cast<unsigned char*>(out), &written,
                             reinterpret_cast<const unsigned char*>(in), length)
        == 1
        && written == length;
}

} // namespace

QByteArray BackupCrypto::pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    return pbkdf2(password, salt, iterations, length, EVP_sha1());
}

QByteArray BackupCrypto::pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    return pbkdf2(password, salt, iterations, length, EVP_sha256());
}

QByteArray BackupCrypto::unwrapKey(const QByteArray& kek, const QByteArray& wrapped)
{
    // RFC 3394 wraps whole 64-bit blocks, at least two of key data.
    if (kek.size() != 32 || wrapped.size() < 24 || wrapped.size() % 8 != 0)
        return QByteArray();
    CipherContext context = newContext();
    if (!context)
        return QByteArray();
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_wrap(), nullptr,
                           reinterpret_cast<const unsigned char*>(kek.constData()), nullptr)
        != 1)
        return QByteArray();
    QByteArray key(wrapped.size(), Qt::Uninitialized);
    int length = 0;
    if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(key.data()), &length,
                          reinterpret_cast<const unsigned char*>(wrapped.constData()), wrapped.size())
            != 1
        || length != wrapped.size() - 8) {
        // What came out under a wrong key is still key material of a sort.
        OPENSSL_cleanse(key.data(), static_cast<size_t>(key.size()));
        return QByteArray();
    }
    key.truncate(length);
    return key;
}

QByteArray BackupCrypto::decrypt(const QByteArray& key, const QByteArray& cipherText)
{
    if (cipherText.isEmpty() || cipherText.size() % blockSize != 0)
        return QByteArray();
    const CipherContext context = cbcDecryptor(key);
    QByteArray plain(cipherText.size(), Qt::Uninitialized);
    if (!context || !update(context.get(), cipherText.constData(), cipherText.size(), plain.data()))
        return QByteArray();
    return plain;
}

int BackupCrypto::unpaddedLength(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    const int pad = static_cast<unsigned char>(text.back());
    if (pad < 1 || pad > blockSize || pad > text.size())
        return text.size();
    for (int i = text.size() - pad; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text.at(i)) != pad)
            return text.size();
    }
    return text.size() - pad;
}

BackupCrypto::FileResult BackupCrypto::decryptFile(const QByteArray& key, const QString& source, const QString& target,
                                                   qint64 size)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return FileResult::Failed;
    const qint64 total = in.size();
    if (total % blockSize != 0 || (size >= 0 && total < size))
        return FileResult::Truncated;
    const CipherContext context = cbcDecryptor(key);
    // Private from its first byte: made 0600, never opened wider and narrowed
    // later. What an interrupted build left at the name goes first.
    QFile out;
    QFile::remove(target);
    if (!context || !OwnerMark::createPrivateFile(target, &out))
        return FileResult::Failed;

    // Whole blocks in chunks; the last block is held back until the end, so
    // that padding can be stripped when the size is not known.
    constexpr qint64 chunk = qint64(1) << 20;
    QByteArray cipher(static_cast<int>(chunk), Qt::Uninitialized);
    QByteArray plain(static_cast<int>(chunk), Qt::Uninitialized);
    qint64 remaining = size >= 0 ? size : total;
    for (qint64 done = 0; done < total;) {
        if (ViewCancel::requested())
            return FileResult::Failed; // the view is being given up
        const qint64 want = qMin(chunk, total - done);
        if (in.read(cipher.data(), want) != want || !update(context.get(), cipher.constData(), int(want), plain.data()))
            return FileResult::Failed;
        done += want;
        qint64 keep = want;
        if (size < 0 && done == total)
            keep = unpaddedLength(QByteArray::fromRawData(plain.constData(), int(want)));
        const qint64 write = qMin(keep, remaining);
        if (write > 0 && out.write(plain.constData(), write) != write)
            return FileResult::Failed;
        remaining -= write;
    }
    return out.flush() ? FileResult::Done : FileResult::Failed;
}
