// Private copies of WAL-mode databases, so that the rows kept only in a
// "-wal" file can be read without SQLite writing "-shm" or "-wal" files beside
// a backup.
//
// A copy ("snapshot") is made once per source and state of its files: the db
// and its "-wal" are copied into a private folder (0700, files 0600 from
// their creation), the copy is checkpointed into a single file, and every
// reader opens that file with immutable=1: no locks, no "-shm", never busy,
// so any number of readers on any threads share it.
//
// Lifetime: the cache keeps the snapshots of the last few sources (a load
// opens the message database a dozen times and must not copy it each time),
// and every connection opened on a snapshot holds it: a snapshot that was
// superseded or dropped from the cache is removed when its last connection
// closes. The close is seen through SQLITE_TRACE_CLOSE, since connections
// are closed by their readers, not here. Whatever is left is removed by
// clear(), which also runs when the process exits. A snapshot of a database
// inside a decrypted view lies inside that view (".snapshots"), so that
// removing the view takes it along; the others lie in folders named
// "msgservice-*" in the temporary folder, each marked with its owner
// (OwnerMark) so that those of a killed process can be swept.
#pragma once

#include <QString>

#include <list>
#include <map>
#include <memory>
#include <mutex>

struct sqlite3;

class WalSnapshotCache
{
public:
    // A checkpointed private copy; removed with its folder when destroyed.
    class Snapshot
    {
    public:
        Snapshot(const QString& folder, const QString& copy);
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

        const QString& path() const { return copy; }

    private:
        QString folder;
        QString copy;
    };

    static WalSnapshotCache& instance();

    // The snapshot of dbPath in its current state, made on first use; fresh
    // replaces a cached one that was found unusable. Null when no copy can be
    // made: the database cannot be opened.
    std::shared_ptr<Snapshot> acquire(const QString& dbPath, bool fresh = false);

    // Keeps snapshot alive until db, a connection opened on it, is closed.
    static void holdWhileOpen(sqlite3* db, const std::shared_ptr<Snapshot>& snapshot);

    // Removes every snapshot, those still held by open connections too (whose
    // open files stay readable where the system allows it).
    void clear();

    // The folder snapshots of dbPath go to: ".snapshots" in the decrypted
    // view dbPath lies in, else the temporary folder; empty when there is none.
    static QString placeFor(const QString& dbPath);

private:
    WalSnapshotCache() = default;

    struct Signature
    {
        qint64 dbSize = -1;
        qint64 dbModified = -1;
        quint64 dbInode = 0;
        qint64 walSize = -1;
        qint64 walModified = -1;
        quint64 walInode = 0;
        bool operator==(const Signature& other) const;
        bool operator!=(const Signature& other) const { return !(*this == other); }
    };
    struct Entry
    {
        QString source;
        Signature signature;
        std::shared_ptr<Snapshot> snapshot;
    };

    static Signature signatureOf(const QString& dbPath);
    static std::shared_ptr<Snapshot> make(const QString& source, Signature* signature);
    static bool copyInto(const QString& source, const QString& target);
    static bool checkpoint(const QString& copy);
    std::shared_ptr<std::mutex> creationLock(const QString& source);

    // One load reads the message database and the address book; a few more
    // leave room for hosts that load several devices in turn.
    static constexpr std::size_t maxEntries = 4;

    std::mutex mutex;
    std::list<Entry> entries; // most recently used first
    // One lock per source, held while its snapshot is made, so that two
    // threads never copy the same database at once.
    std::map<QString, std::shared_ptr<std::mutex>> creating;
};
