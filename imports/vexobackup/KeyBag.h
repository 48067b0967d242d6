// The keybag of an encrypted computer backup (Manifest.plist, BackupKeyBag):
// tag-length-value records, a header then one entry per protection class,
// whose keys are wrapped with a key derived from the backup password.
#pragma once

#include <QByteArray>

#include <map>

class KeyBag
{
public:
    enum class Status { Ready, Malformed, UnknownVersion, WrongPassword };

    KeyBag() = default;
    // The unwrapped class keys are overwritten, not merely freed.
    ~KeyBag();
    KeyBag(KeyBag&&) = default;
    KeyBag& operator=(KeyBag&&) = default;

    // Overwrites secret's bytes when it holds them alone, then empties it.
    static void wipe(QByteArray& secret);

    // Reads the records; Ready when the keybag can be unlocked.
    Status parse(const QByteArray& data);
    // Derives the password key and unwraps every class key with it.
    Status unlock(const QByteArray& password);

    quint32 version() const { return vers; }
    std::size_t classCount() const { return classes.size(); }
    // The unwrapped key of a protection class; empty before unlock.
    QByteArray classKey(quint32 protectionClass) const;

    // Iteration counts beyond these would stall a load for minutes; real
    // backups use 10 000 000 and 10 000.
    static constexpr quint64 maxOuterIterations = 20000000;
    static constexpr quint64 maxInnerIterations = 10000000;

private:
    struct ClassEntry
    {
        quint64 wrap = 0;
        QByteArray wrappedKey;
        QByteArray key;
    };

    quint32 vers = 0;
    QByteArray salt;
    quint64 iterations = 0;
    QByteArray passwordSalt; // DPSL, with DPIC: the first round, from version 4
    quint64 passwordIterations = 0;
    std::map<quint32, ClassEntry> classes;
};
