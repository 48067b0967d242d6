// Private copies of WAL-mode databases, so that the rows kept only in a
// "-wal" file can be read without SQLite writing "-shm" or "-wal" files beside
// a backup.
#pragma once

#include <QString>

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>

class QTemporaryDir;

class WalSnapshotCache
{
public:
    static WalSnapshotCache& instance();

    // Path of a private copy of dbPath and its "-wal" file, made on first use
    // and reused while neither source file changes; fresh is for a copy that
    // was found unusable. Empty when the copy fails.
    QString snapshotFor(const QString& dbPath, bool fresh = false);

    // Removes every copy.
    void clear();

    ~WalSnapshotCache();

private:
    struct Signature
    {
        qint64 dbSize = -1;
        qint64 dbModified = -1;
        qint64 walSize = -1;
        qint64 walModified = -1;
        bool operator==(const Signature& other) const;
    };
    struct Entry
    {
        QString source;
        Signature signature;
        std::unique_ptr<QTemporaryDir> folder;
        QString copy;
    };

    static Signature signatureOf(const QString& dbPath);
    static std::unique_ptr<Entry> makeEntry(const QString& source, const Signature& signature);

    // One load reads the message database and the address book; a few more
    // leave room for hosts that load several devices in turn.
    static constexpr std::size_t maxEntries = 4;

    std::mutex mutex;
    std::list<std::unique_ptr<Entry>> entries; // most recently used first
};
