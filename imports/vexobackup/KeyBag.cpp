#include "KeyBag.h"

#include "BackupCrypto.h"

#include <openssl/crypto.h>

namespace {

// Class keys wrapped with the password key (the device key would be bit 1).
constexpr quint64 wrappedWithPassword = 2;

bool number(const QByteArray& value, quint64* result)
{
    if (value.isEmpty() || value.size() > 8)
        return false;
    quint64 n = 0;
    for (const char byte : value)
        n = (n << 8) | static_cast<unsigned char>(byte);
    *result = n;
    return true;
}

} // namespace

KeyBag::Status KeyBag::parse(const QByteArray& data)
{
    for (auto& item : classes)
        wipe(item.second.key);
    *this = KeyBag();
    bool versionSeen = false;
    int uuids = 0; // the first belongs to the header, each further one starts a class entry
    quint64 classId = 0;
    bool classSeen = false;
    ClassEntry entry;
    const auto flush = [&] {
        if (classSeen && !entry.wrappedKey.isEmpty())
            classes[static_cast<quint32>(classId)] = entry;
        entry = ClassEntry();
        classSeen = false;
    };

    for (int pos = 0; pos < data.size();) {
        if (data.size() - pos < 8)
            return Status::Malformed;
        const QByteArray tag = data.mid(pos, 4);
        quint64 length = 0;
        number(data.mid(pos + 4, 4), &length);
        pos += 8;
        if (length > quint64(data.size() - pos))
            return Status::Malformed;
        const QByteArray value = data.mid(pos, static_cast<int>(length));
        pos += static_cast<int>(length);

        quint64 n = 0;
        const bool isNumber = number(value, &n);
        if (tag == "UUID") {
            if (++uuids > 1)
                flush();
        } else if (uuids < 2) {
            if (tag == "VERS" && isNumber) {
                vers = static_cast<quint32>(n);
                versionSeen = true;
            } else if (tag == "SALT") {
                salt = value;
            } else if (tag == "ITER" && isNumber) {
                iterations = n;
            } else if (tag == "DPSL") {
                passwordSalt = value;
            } else if (tag == "DPIC" && isNumber) {
                passwordIterations = n;
            }
        } else if (tag == "CLAS" && isNumber) {
            classId = n;
            classSeen = n <= 0xffffffffu;
        } else if (tag == "WRAP" && isNumber) {
            entry.wrap = n;
        } else if (tag == "WPKY") {
            entry.wrappedKey = value;
        }
    }
    flush();

    if (!versionSeen)
        return Status::Malformed;
    // 2 before iOS 5 was current, 3 from then on, 4 with the password's own round.
    if (vers < 2 || vers > 4)
        return Status::UnknownVersion;
    const bool twoRounds = !passwordSalt.isEmpty();
    if (salt.isEmpty() || iterations < 1 || iterations > maxInnerIterations || classes.empty()
        || (twoRounds && (passwordIterations < 1 || passwordIterations > maxOuterIterations)))
        return Status::Malformed;
    return Status::Ready;
}

KeyBag::Status KeyBag::unlock(const QByteArray& password)
{
    if (classes.empty() || salt.isEmpty())
        return Status::Malformed;
    QByteArray outer;
    if (!passwordSalt.isEmpty())
        outer = BackupCrypto::pbkdf2Sha256(password, passwordSalt, static_cast<int>(passwordIterations), 32);
    QByteArray key =
        BackupCrypto::pbkdf2Sha1(passwordSalt.isEmpty() ? password : outer, salt, static_cast<int>(iterations), 32);
    wipe(outer);
    if (key.isEmpty())
        return Status::Malformed;

    bool any = false;
    bool wrong = false;
    for (auto& item : classes) {
        ClassEntry& entry = item.second;
        if (!(entry.wrap & wrappedWithPassword))
            continue;
        entry.key = BackupCrypto::unwrapKey(key, entry.wrappedKey);
        if (entry.key.isEmpty()) {
            wrong = true;
            break;
        }
        any = true;
    }
    wipe(key);
    return any && !wrong ? Status::Ready : Status::WrongPassword;
}

KeyBag::~KeyBag()
{
    for (auto& item : classes)
        wipe(item.second.key);
}

void KeyBag::wipe(QByteArray& secret)
{
    // Only a buffer of our own: data() on a shared one would wipe a copy.
    if (!secret.isEmpty() && secret.isDetached())
        OPENSSL_cleanse(secret.data(), static_cast<size_t>(secret.size()));
    secret.clear();
}

QByteArray KeyBag::classKey(quint32 protectionClass) const
{
    const auto it = classes.find(protectionClass);
    return it == classes.end() ? QByteArray() : it->second.key;
}
