#include "WalSnapshotCache.h"

#include "OwnerMark.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <set>

#if !defined(_WIN32)
#  include <sys/stat.h>
#endif

namespace {

const QString viewMark = QStringLiteral(".msgservice-view");

// Every snapshot folder that exists, and those whose removal failed (a file
// still open on Windows), so that clear() reaches them all. Never destroyed:
// connections may close, and release their snapshot, after static objects
// are gone.
struct Folders
{
    std::mutex mutex;
    std::set<QString> live;
};

Folders& folders()
{
    static Folders* instance = new Folders;
    return *instance;
}

bool removeFolder(const QString& folder)
{
    QDir dir(folder);
    return !dir.exists() || dir.removeRecursively();
}

// Removes every snapshot when the process ends normally.
struct ExitCleaner
{
    ~ExitCleaner() { WalSnapshotCache::instance().clear(); }
} exitCleaner;

int onTrace(unsigned type, void* context, void* connection, void*)
{
    // sqlite3_close reports the close before it refuses a connection that
    // still has statements; the snapshot is let go only by the close that
    // succeeds.
    if (type == SQLITE_TRACE_CLOSE && !sqlite3_next_stmt(static_cast<sqlite3*>(connection), nullptr))
        delete static_cast<std::shared_ptr<WalSnapshotCache::Snapshot>*>(context);
    return 0;
}

bool makePrivateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
#if defined(_WIN32)
    return true; // below the user's profile, private already
#else
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
}

#if !defined(_WIN32)
quint64 inodeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? static_cast<quint64>(info.st_ino) : 0;
}
#endif

} // namespace

WalSnapshotCache::Snapshot::Snapshot(const QString& folder, const QString& copy)
    : folder(folder)
    , copy(copy)
{
    std::lock_guard<std::mutex> lock(folders().mutex);
    folders().live.insert(folder);
}

WalSnapshotCache::Snapshot::~Snapshot()
{
    const bool removed = removeFolder(folder);
    std::lock_guard<std::mutex> lock(folders().mutex);
    if (removed)
        folders().live.erase(folder);
}

bool WalSnapshotCache::Signature::operator==(const Signature& other) const
{
    return dbSize == other.dbSize && dbModified == other.dbModified && dbInode == other.dbInode
        && walSize == other.walSize && walModified == other.walModified && walInode == other.walInode;
}

WalSnapshotCache& WalSnapshotCache::instance()
{
    // Never destroyed, like the folder list; ExitCleaner empties it.
    static WalSnapshotCache* cache = new WalSnapshotCache;
    return *cache;
}

void WalSnapshotCache::clear()
{
    std::list<Entry> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        dropped.swap(entries);
    }
    dropped.clear();
    std::lock_guard<std::mutex> lock(folders().mutex);
    for (auto it = folders().live.begin(); it != folders().live.end();)
        it = removeFolder(*it) ? folders().live.erase(it) : std::next(it);
}

WalSnapshotCache::Signature WalSnapshotCache::signatureOf(const QString& dbPath)
{
    const QString walPath = dbPath + QStringLiteral("-wal");
    const QFileInfo db(dbPath);
    const QFileInfo wal(walPath);
    Signature signature;
    signature.dbSize = db.size();
    signature.dbModified = db.lastModified().toMSecsSinceEpoch();
    signature.walSize = wal.size();
    signature.walModified = wal.lastModified().toMSecsSinceEpoch();
#if !defined(_WIN32)
    signature.dbInode = inodeOf(dbPath);
    signature.walInode = inodeOf(walPath);
#endif
    return signature;
}

QString WalSnapshotCache::placeFor(const QString& dbPath)
{
    // A view holds its databases a folder or two deep (SMS/sms.db).
    QDir dir = QFileInfo(dbPath).absoluteDir();
    for (int level = 0; level < 4; ++level) {
        QFile mark(dir.filePath(viewMark));
        if (mark.open(QIODevice::ReadOnly) && mark.read(10) == "decrypted ")
            return dir.filePath(QStringLiteral(".snapshots"));
        if (!dir.cdUp())
            break;
    }
    // Empty when the temporary folder does not exist: no copy then, rather
    // than one in the current folder.
    const QString temporary = QDir::tempPath();
    return QFileInfo(temporary).isDir() ? temporary : QString();
}

bool WalSnapshotCache::copyInto(const QString& source, const QString& target)
{
    QFile in(source);
    QFile out;
    if (!in.open(QIODevice::ReadOnly) || !OwnerMark::createPrivateFile(target, &out))
        return false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0)
            return false;
        if (read == 0)
            break;
        if (out.write(buffer.constData(), read) != read)
            return false;
    }
    return out.flush();
}

bool WalSnapshotCache::checkpoint(const QString& copy)
{
    // Folding the WAL into the file once, here, is what lets every reader
    // open the copy immutable. Leaving WAL mode checkpoints and then deletes
    // the "-wal" and "-shm" files, which get the copy's mode meanwhile.
    sqlite3* db = nullptr;
#if defined(_WIN32)
    const QByteArray name = copy.toUtf8();
#else
    const QByteArray name = QFile::encodeName(copy);
#endif
    int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QByteArray mode;
    if (rc == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode=DELETE", -1, &stmt, nullptr);
        if (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
    }
    const bool closed = sqlite3_close(db) == SQLITE_OK;
    return closed && mode == "delete" && !QFileInfo::exists(copy + QStringLiteral("-wal"));
}

std::shared_ptr<WalSnapshotCache::Snapshot> WalSnapshotCache::make(const QString& source, Signature* signature)
{
    const QString base = placeFor(source);
    if (base.isEmpty())
        return nullptr;
    const bool inView = base != QDir::tempPath();
    if (inView && !QDir(base).exists() && !makePrivateFolder(base))
        return nullptr;
    // The source may change while it is copied (a backup being written); a
    // copy is kept only when the files were the same before and after.
    for (int attempt = 0; attempt < 3; ++attempt) {
        // QTemporaryDir makes its folder with mode 0700.
        QTemporaryDir folder(inView ? base + QStringLiteral("/XXXXXX") : base + QStringLiteral("/msgservice-XXXXXX"));
        if (!folder.isValid() || !OwnerMark::write(folder.path()))
            return nullptr;
        const QString copy = folder.filePath(QFileInfo(source).fileName());
        const bool copied = copyInto(source, copy)
            && copyInto(source + QStringLiteral("-wal"), copy + QStringLiteral("-wal"));
        const Signature after = signatureOf(source);
        if (copied && after != *signature) {
            *signature = after;
            continue;
        }
        if (!copied || !checkpoint(copy))
            return nullptr;
        folder.setAutoRemove(false);
        return std::make_shared<Snapshot>(folder.path(), copy);
    }
    return nullptr;
}

std::shared_ptr<std::mutex> WalSnapshotCache::creationLock(const QString& source)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<std::mutex>& slot = creating[source];
    if (!slot)
        slot = std::make_shared<std::mutex>();
    return slot;
}

std::shared_ptr<WalSnapshotCache::Snapshot> WalSnapshotCache::acquire(const QString& dbPath, bool fresh)
{
    const QString source = QFileInfo(dbPath).absoluteFilePath();
    const std::shared_ptr<std::mutex> sourceLock = creationLock(source);
    std::lock_guard<std::mutex> creation(*sourceLock);

    Signature signature = signatureOf(source);
    std::shared_ptr<Snapshot> stale; // let go outside the lock
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->source != source)
                continue;
            // A copy may have been swept away by a temporary-file cleaner.
            if (!fresh && it->signature == signature && QFileInfo(it->snapshot->path()).isFile()) {
                entries.splice(entries.begin(), entries, it);
                return entries.front().snapshot;
            }
            stale = std::move(it->snapshot);
            entries.erase(it);
            break;
        }
    }
    stale.reset();

    std::shared_ptr<Snapshot> snapshot = make(source, &signature);
    if (!snapshot)
        return nullptr;
    std::list<Entry> evicted;
    std::lock_guard<std::mutex> lock(mutex);
    entries.push_front(Entry{source, signature, snapshot});
    while (entries.size() > maxEntries)
        evicted.splice(evicted.begin(), entries, std::prev(entries.end()));
    return snapshot;
}

void WalSnapshotCache::holdWhileOpen(sqlite3* db, const std::shared_ptr<Snapshot>& snapshot)
{
    // Replaces any trace callback; connections handed out here have none.
    sqlite3_trace_v2(db, SQLITE_TRACE_CLOSE, onTrace, new std::shared_ptr<Snapshot>(snapshot));
}
