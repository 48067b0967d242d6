#include "CISQLiteQuery.h"

#include "QueryProgress.h"
#include "imports/Log.h"
#include "imports/SqlUtils.h"

#include <QFile>

#include <sqlite3.h>

#include <memory>

namespace {

struct ConnectionCloser
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Opens through the imported service; logs and yields null on failure, in
// which case there is nothing to close.
Connection open(const QString& dbPath, bool mapped)
{
    sqlite3* db = nullptr;
    if (SqlUtils::openSqlite(dbPath, &db) != 0) {
        Log("iTunesBackup", 1, "Fail to open db file: %s", dbPath.toUtf8().constData());
        return Connection();
    }
    if (!mapped)
        sqlite3_exec(db, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
    return Connection(db);
}

// Prepares through the imported service; logs and yields null on failure.
Statement prepare(sqlite3* db, const QString& sql, const QString& dbPath)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (SqlUtils::prepareSqlite(db, text.constData(), -1, &stmt, nullptr) != 0) {
        Log("iTunesBackup", 1, "Fail to query sql \"%s\" for db %s", text.constData(), dbPath.toUtf8().constData());
        return Statement();
    }
    return Statement(stmt);
}

int countRowsOf(const QString& dbPath, const QStringList& sqls, bool mapped)
{
    const Connection db = open(dbPath, mapped);
    if (!db)
        return -2;

    int count = 0;
    bool lastPrepared = true;
    for (const QString& sql : sqls) {
        const Statement stmt = prepare(db.get(), sql, dbPath);
        lastPrepared = static_cast<bool>(stmt);
        if (!stmt)
            continue;
        if (sqlite3_step(stmt.get()) == SQLITE_ROW)
            count = sqlite3_column_int(stmt.get(), 0);
        break;
    }
    return lastPrepared ? count : -1;
}

} // namespace

CISQLiteQuery::CISQLiteQuery()
    : progress(nullptr)
    , progressStep(0.0)
{
}

CISQLiteQuery::~CISQLiteQuery() = default;

void CISQLiteQuery::rowsCounted(int) {}

bool CISQLiteQuery::memoryMapped() const
{
    return true;
}

void CISQLiteQuery::exec(const QStringList& dbPaths, QueryProgress* observer)
{
    QString chosen;
    bool found = false;
    for (const QString& path : dbPaths) {
        if (QFile::exists(path)) {
            chosen = path;
            found = true;
            break;
        }
        Log("iTunesBackup", 0, "Not exists: %s", path.toUtf8().constData());
    }
    if (!found)
        return;

    const int count = countRowsOf(chosen, countSqls, memoryMapped());
    if (count < 1)
        return;

    rowsCounted(count);
    progress = observer;
    if (progress)
        progressStep = static_cast<double>(progress->progressRange()) / static_cast<double>(count);

    for (const QString& sql : qAsConst(selectSqls)) {
        if (runQuery(chosen, sql) >= 0)
            break;
    }
}

int CISQLiteQuery::countRows(const QString& dbPath, const QStringList& sqls)
{
    return countRowsOf(dbPath, sqls, true);
}

int CISQLiteQuery::runQuery(const QString& dbPath, const QString& sql)
{
    const Connection db = open(dbPath, memoryMapped());
    if (!db)
        return -2;
    // Declared after the connection, so the statement is finalized first.
    const Statement stmt = prepare(db.get(), sql, dbPath);
    if (!stmt)
        return -1;

    int rows = 0;
    // Any result other than a row, an error included, ends the run quietly;
    // the rows handled so far are kept.
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        if (!handleRow(stmt.get()))
            break;
        ++rows;
        if (progress && !progress->advance(progressStep))
            break;
    }
    return rows;
}

QString CISQLiteQuery::columnText(sqlite3_stmt* stmt, int column)
{
    const unsigned char* text = sqlite3_column_text(stmt, column);
    const int bytes = sqlite3_column_bytes(stmt, column);
    if (!text || bytes <= 0)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(text), bytes);
}
