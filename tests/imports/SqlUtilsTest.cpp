#include "ComputerBackup.h"
#include "FixtureDatabase.h"
#include "imports/SqlUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <atomic>
#include <thread>
#include <vector>

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

namespace {

// The private copies in the temporary folder: folder names.
QStringList snapshotFolders(const QString& temporary)
{
    return QDir(temporary).entryList({QStringLiteral("msgservice-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

TEST(SqlUtils, ReadersOnManyThreadsShareOnePrivateCheckpointedCopy)
{
    QTemporaryDir backup;
    QTemporaryDir temporary;
    TemporaryFolderOverride override(temporary.path());
    const QString path = backup.filePath(QStringLiteral("threads.db"));
    ASSERT_TRUE(FixtureDatabase::create(path, table + QStringLiteral("insert into message (text) values ('in'), ('wal');"),
                                        FixtureDatabase::Journal::WalOnly));
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 6; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 25; ++i)
                wrong += countRows(path, "select count(*) from message") == 2 ? 0 : 1;
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong.load(), 0) << "a reader saw no rows, or could not open";

    const QStringList copies = snapshotFolders(temporary.path());
    ASSERT_EQ(copies.size(), 1) << "made once";
    const QDir copy(temporary.filePath(copies.front()));
    // Only the copy, folded into one file, and its owner's mark; private.
    EXPECT_EQ(copy.entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral(".msgservice-owner"), QStringLiteral("threads.db")}));
#if !defined(_WIN32)
    const QFileDevice::Permissions ownerAndOthers(0x7077); // the user's own bits aside
    EXPECT_EQ(QFileInfo(copy.path()).permissions() & ownerAndOthers,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(QFileInfo(copy.filePath(QStringLiteral("threads.db"))).permissions() & ownerAndOthers,
              QFile::ReadOwner | QFile::WriteOwner);
#endif
}

TEST(SqlUtils, ASupersededCopyLastsUntilItsLastConnectionCloses)
{
    QTemporaryDir backup;
    QTemporaryDir temporary;
    TemporaryFolderOverride override(temporary.path());
    const QString path = backup.filePath(QStringLiteral("held.db"));
    ASSERT_TRUE(FixtureDatabase::create(path, table + QStringLiteral("insert into message (text) values ('a');"),
                                        FixtureDatabase::Journal::WalOnly));
    sqlite3* held = nullptr;
    ASSERT_EQ(SqlUtils::openSqlite(path, &held), 0);
    const QStringList first = snapshotFolders(temporary.path());
    ASSERT_EQ(first.size(), 1);

    ASSERT_TRUE(FixtureDatabase::run(path, QStringLiteral("insert into message (text) values ('b');")));
    EXPECT_EQ(countRows(path, "select count(*) from message"), 2) << "the new state";
    EXPECT_EQ(snapshotFolders(temporary.path()).size(), 2) << "the old copy is still read";
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SqlUtils::prepareSqlite(held, "select count(*) from message", -1, &stmt, nullptr), 0);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 1) << "the old state, whole";
    EXPECT_EQ(sqlite3_close(held), SQLITE_BUSY) << "a refused close keeps the copy";
    EXPECT_TRUE(snapshotFolders(temporary.path()).contains(first.front()));
    sqlite3_finalize(stmt);
    EXPECT_EQ(sqlite3_close(held), SQLITE_OK);
#if !defined(_WIN32)
    // Windows removes no file that is still open, and the close is seen just
    // before SQLite lets go of it: there the copy goes at the end instead.
    const QStringList after = snapshotFolders(temporary.path());
    EXPECT_EQ(after.size(), 1);
    EXPECT_FALSE(after.contains(first.front())) << "gone with its last connection";
#endif
}

TEST(SqlUtils, CopiesOfADecryptedViewLieInsideItAndAFailedCopyIsAFailedOpen)
{
    QTemporaryDir view;
    QTemporaryDir temporary;
    TemporaryFolderOverride override(temporary.path());
    {
        QFile mark(view.filePath(QStringLiteral(".msgservice-view")));
        ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
        mark.write("decrypted 1:2 3:4");
    }
    QDir().mkpath(view.filePath(QStringLiteral("SMS")));
    const QString path = view.filePath(QStringLiteral("SMS/sms.db"));
    ASSERT_TRUE(FixtureDatabase::create(path, table + QStringLiteral("insert into message (text) values ('a');"),
                                        FixtureDatabase::Journal::WalOnly));
    EXPECT_EQ(countRows(path, "select count(*) from message"), 1);
    EXPECT_EQ(snapshotFolders(temporary.path()), QStringList()) << "no decrypted data outside the view";
    EXPECT_EQ(QDir(view.filePath(QStringLiteral(".snapshots"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

    // Nowhere to copy to: the database does not open, rather than reading as empty.
    QTemporaryDir backup;
    const QString other = backup.filePath(QStringLiteral("other.db"));
    ASSERT_TRUE(FixtureDatabase::create(other, table + QStringLiteral("insert into message (text) values ('a');"),
                                        FixtureDatabase::Journal::WalOnly));
    TemporaryFolderOverride missing(temporary.filePath(QStringLiteral("missing")));
    sqlite3* db = reinterpret_cast<sqlite3*>(0x1);
    EXPECT_EQ(SqlUtils::openSqlite(other, &db), SQLITE_CANTOPEN);
    EXPECT_EQ(db, nullptr);
}
