#include "ComputerBackup.h"
#include "FixtureDatabase.h"
#include "imports/SqlUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

int countRows(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    if (SqlUtils::openSqlite(path, &db) != 0)
        return -2;
    sqlite3_stmt* stmt = nullptr;
    int count = -1;
    if (SqlUtils::prepareSqlite(db, sql, -1, &stmt, nullptr) == 0) {
        if (sqlite3_step(stmt) == SQLITE_ROW)
            count = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
    return count;
}

// Points the snapshot copies at a folder of the test's own.
class TemporaryFolderOverride
{
public:
    explicit TemporaryFolderOverride(const QString& path) : previous(qgetenv(variable))
    {
        qputenv(variable, QFile::encodeName(QDir::toNativeSeparators(path)));
    }
    ~TemporaryFolderOverride() { qputenv(variable, previous); }

private:
#if defined(_WIN32)
    static constexpr const char* variable = "TMP"; // the first one GetTempPath looks at
#else
    static constexpr const char* variable = "TMPDIR";
#endif
    const QByteArray previous;
};

const QString table = QStringLiteral("create table message (ROWID integer primary key, text text);");

} // namespace

TEST(SqlUtils, DatabasesWithoutRowsInAWalAreReadInPlaceWithoutWritingAnything)
{
    QTemporaryDir dir;
    QTemporaryDir temporary;
    TemporaryFolderOverride override(temporary.path());
    for (const QString& path : {dir.filePath(QStringLiteral("sms.db")), dir.path(), QString()}) {
        sqlite3* db = reinterpret_cast<sqlite3*>(0x1);
        EXPECT_NE(SqlUtils::openSqlite(path, &db), 0) << path.toStdString();
        EXPECT_EQ(db, nullptr);
    }
    EXPECT_TRUE(ComputerBackup::listing(dir.path()).isEmpty()) << "nothing created for a missing database";
    // A plain database with an odd name, a WAL-mode one whose WAL was
    // checkpointed away, and one beside an empty WAL.
#if defined(_WIN32)
    const QString plain = dir.filePath(QStringLiteral("we&ird #%20 n\u00e4me.db")); // '?' is not allowed
#else
    const QString plain = dir.filePath(QStringLiteral("we?ird #%20 name.db"));
#endif
    const QString walMode = dir.filePath(QStringLiteral("wal-mode.db"));
    const QString emptyWal = dir.filePath(QStringLiteral("empty-wal.db"));
    const QString rows = table + QStringLiteral("insert into message (text) values ('a'), ('b');");
    ASSERT_TRUE(FixtureDatabase::create(plain, rows));
    for (const QString& path : {walMode, emptyWal})
        ASSERT_TRUE(FixtureDatabase::create(path, rows) && FixtureDatabase::run(path, QStringLiteral("pragma journal_mode=wal;")));
    QFile(emptyWal + QStringLiteral("-wal")).open(QIODevice::WriteOnly);
    const auto before = ComputerBackup::listing(dir.path());
    for (const QString& path : {plain, walMode, emptyWal})
        EXPECT_EQ(countRows(path, "select count(*) from message"), 2) << path.toStdString();
    EXPECT_EQ(ComputerBackup::listing(dir.path()), before);
    EXPECT_TRUE(ComputerBackup::listing(temporary.path()).isEmpty()) << "no private copy";
}

TEST(SqlUtils, RowsKeptOnlyInTheWalAreReadFromOnePrivateCopyEvenWhenTheBackupIsReadOnly)
{
    QTemporaryDir backup;
    QTemporaryDir temporary;
    TemporaryFolderOverride override(temporary.path());
    const QString path = backup.filePath(QStringLiteral("sms.db"));
    ASSERT_TRUE(FixtureDatabase::create(path, table + QStringLiteral("insert into message (text) values ('in'), ('wal');"),
                                        FixtureDatabase::Journal::WalOnly));
    ASSERT_GT(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
    const auto before = ComputerBackup::listing(backup.path());
    QFile::setPermissions(backup.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(countRows(path, "select count(*) from message"), 2);
    EXPECT_EQ(countRows(path, "select count(*) from message where text = 'wal'"), 1);
    QFile::setPermissions(backup.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ComputerBackup::listing(backup.path()), before) << "no -shm, no checkpoint, nothing written";
    EXPECT_EQ(QDir(temporary.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1) << "one copy serves both";

    // A backup that changes is copied again, and the stale copy goes.
    ASSERT_TRUE(FixtureDatabase::run(path, QStringLiteral("insert into message (text) values ('later');")));
    EXPECT_EQ(countRows(path, "select count(*) from message"), 3);
    EXPECT_EQ(QDir(temporary.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}
