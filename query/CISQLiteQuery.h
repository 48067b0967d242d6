#pragma once

#include <QString>
#include <QStringList>

struct sqlite3_stmt;
class QueryProgress;

// Base of every database reader: picks the database from a candidate list,
// counts the rows, runs the reader's row statements (best first, falling back
// while one fails to prepare) and hands each row to handleRow.
//
// This is the one place that opens, prepares, steps, finalizes and closes;
// readers only declare statements and read columns. Connections and
// statements never outlive one countRows or runQuery call.
class CISQLiteQuery
{
public:
    CISQLiteQuery();
    virtual ~CISQLiteQuery();

    CISQLiteQuery(const CISQLiteQuery&) = delete;
    CISQLiteQuery& operator=(const CISQLiteQuery&) = delete;

    // Called once per result row; false ends the run.
    virtual bool handleRow(sqlite3_stmt* stmt) = 0;
    // Called once before the rows of a run with the count found, so that a
    // reader can size its tables once instead of growing them row by row.
    virtual void rowsCounted(int count);
    // Whether the database's pages are mapped into memory (the fastest way
    // through a whole table) or read into SQLite's small page cache. A
    // reader that runs beside another on the same file wants the latter:
    // mapped pages count in the process's memory once per connection.
    virtual bool memoryMapped() const;

    // The run: the first existing path of dbPaths, its row count, then the
    // first row statement that prepares. progress may be null.
    virtual void exec(const QStringList& dbPaths, QueryProgress* progress);

    // First column of the first row of the first count statement that
    // prepares; -1 when none prepares, -2 when the database does not open.
    static int countRows(const QString& dbPath, const QStringList& sqls);

    // Handles every row of sql; the number of rows handled, -1 when sql does
    // not prepare, -2 when the database does not open.
    int runQuery(const QString& dbPath, const QString& sql);

    // A text column as UTF-8 of the length SQLite reports; NULL gives "".
    static QString columnText(sqlite3_stmt* stmt, int column);

protected:
    QStringList selectSqls; // row statements, richest schema first
    QStringList countSqls;  // count statements, tried in order
    QueryProgress* progress; // observer of the current run; not owned
    double progressStep;
};
