#include "SqlUtils.h"

#include "WalSnapshotCache.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// SQLite URIs give '%', '?' and '#' a meaning of their own; everything else of
// a path may stand as it is.
QByteArray fileUri(const QString& path, bool immutable)
{
    QByteArray uri = "file://";
    const QString absolute = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!absolute.startsWith(QLatin1Char('/')))
        uri += '/'; // a drive letter: file:///C:/...
    for (const char c : absolute.toUtf8()) {
        if (c == '%' || c == '?' || c == '#') {
            uri += '%';
            uri += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        } else {
            uri += c;
        }
    }
    uri += immutable ? "?mode=ro&immutable=1" : "?mode=ro";
    return uri;
}

void configure(sqlite3* db)
{
    // Readers stream whole tables once; a memory map avoids copying every page
    // through the page cache. Every mapped page a statement touches counts in
    // the process's resident memory until the connection closes, on top of
    // what the reader builds meanwhile, so the map covers the first 256 MiB
    // of a file and the rest is read.
    sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
}

int openUri(const QByteArray& uri, sqlite3** db)
{
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &handle,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);
        return rc;
    }
    configure(handle);
    *db = handle;
    return SQLITE_OK;
}

} // namespace

int SqlUtils::openSqlite(const QString& path, sqlite3** db)
{
    if (!db)
        return SQLITE_MISUSE;
    *db = nullptr;
    try {
        // Never let SQLite create a file: a path that is not an existing
        // regular file fails here.
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile())
            return SQLITE_CANTOPEN;

        // A backup is read as it lies. Without a "-wal" file (or with an empty
        // one) the file is all there is, and immutable mode reads it without
        // locks or sidecar files. With one, the rows in it are read from a
        // private, checkpointed copy (WalSnapshotCache), since SQLite would
        // otherwise write "-shm" beside it.
        const QFileInfo wal(path + QStringLiteral("-wal"));
        if (!wal.isFile() || wal.size() == 0)
            return openUri(fileUri(path, true), db);
        // A cached copy that does not open is replaced once. Whatever fails
        // here is a failure to open, never an empty database.
        for (const bool fresh : {false, true}) {
            const std::shared_ptr<WalSnapshotCache::Snapshot> snapshot =
                WalSnapshotCache::instance().acquire(path, fresh);
            if (!snapshot)
                break;
            if (openUri(fileUri(snapshot->path(), true), db) == SQLITE_OK) {
                WalSnapshotCache::holdWhileOpen(*db, snapshot);
                return SQLITE_OK;
            }
        }
        return SQLITE_CANTOPEN;
    } catch (...) {
        return SQLITE_NOMEM;
    }
}

int SqlUtils::prepareSqlite(sqlite3* db, const char* sql, int nByte, sqlite3_stmt** stmt, const char** tail)
{
    if (stmt)
        *stmt = nullptr;
    if (!db || !sql || !stmt)
        return SQLITE_MISUSE;
    return sqlite3_prepare_v2(db, sql, nByte, stmt, tail);
}
