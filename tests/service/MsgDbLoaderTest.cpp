#include "MsgIdentifier.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "service/MsgDbLoader.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const char* const schemaTest =
    "select count(*) from sqlite_master where type = 'table' and name = 'chat_message_join'";

const char* const oneConversation = R"(
insert into handle (ROWID, id, service, uncanonicalized_id) values (1, '+15550001', 'SMS', NULL);
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+15550001');
insert into chat_handle_join (chat_id, handle_id) values (1, 1);
insert into message (ROWID, guid, text, date, service) values (1, 'm1', 'hello', 1, 'SMS');
insert into chat_message_join (chat_id, message_id) values (1, 1);
)";

class MsgDbLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
    ServiceDoubles& doubles() { return ServiceDoubles::get(); }
};

// Restores the working directory however the test ends.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString& path) : previous(QDir::currentPath()) { QDir::setCurrent(path); }
    ~WorkingDirectory() { QDir::setCurrent(previous); }

private:
    QString previous;
};

} // namespace

TEST_F(MsgDbLoaderTest, MissingMessageDatabaseFailsButTheFolderIsKept)
{
    TestBackup backup;
    MsgDbLoader loader;
    EXPECT_TRUE(loader.folder().isNull());
    EXPECT_FALSE(loader.load(backup.folder()));
    EXPECT_EQ(loader.sessionCount(), 0);
    EXPECT_EQ(loader.folder(), backup.folder());
    EXPECT_EQ(doubles().logsOf("iTunesBackup"),
              (std::vector<std::string>{"1 Fail to open db file: " + backup.smsDbPath().toStdString()}));
}

TEST_F(MsgDbLoaderTest, DatabaseWithoutChatMessageJoinIsRefusedWithoutReadingATable)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral("insert into message (address, text) values ('+1555', 'old');"),
                                  QStringLiteral("ios5-sms.sql")));
    MsgDbLoader loader;
    EXPECT_FALSE(loader.load(backup.folder()));
    EXPECT_EQ(loader.sessionCount(), 0);
    EXPECT_EQ(doubles().preparedSql, (std::vector<std::string>{schemaTest}));
    EXPECT_TRUE(doubles().logs.empty());
    EXPECT_EQ(doubles().opens, doubles().closes);
}

TEST_F(MsgDbLoaderTest, FileThatIsNotADatabaseIsRefusedWithTheStatementLogged)
{
    TestBackup backup;
    backup.writeFile(QStringLiteral("SMS/sms.db"), QByteArray("this is not a database, just text\n").repeated(200));
    MsgDbLoader loader;
    EXPECT_FALSE(loader.load(backup.folder()));
    EXPECT_EQ(doubles().logsOf("iTunesBackup"),
              (std::vector<std::string>{"1 Fail to query sql \"" + std::string(schemaTest) + "\" for db "
                                        + backup.smsDbPath().toStdString()}));
    EXPECT_EQ(doubles().opens, doubles().closes);
}

TEST_F(MsgDbLoaderTest, SchemaWithoutMessagesLoadsEmptyAndStillReadsTheAddressBook)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString()));
    ASSERT_TRUE(backup.writeAddressBook(QString()));
    MsgDbLoader loader;
    EXPECT_TRUE(loader.load(backup.folder()));
    EXPECT_EQ(loader.sessionCount(), 0);
    EXPECT_TRUE(doubles().openedPaths.contains(backup.path(QStringLiteral("AddressBook/AddressBook.sqlitedb"))));
}

TEST_F(MsgDbLoaderTest, AddressBookPrefersSqlitedbThenFallsBackToDb)
{
    struct Case
    {
        bool sqlitedb;
        bool db;
        const char* read;
    };
    for (const Case& c : {Case{true, true, "AddressBook.sqlitedb"}, Case{false, true, "AddressBook.db"},
                          Case{false, false, "AddressBook.db"}}) {
        SCOPED_TRACE(c.read);
        ServiceDoubles::reset();
        TestBackup backup;
        ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(oneConversation)));
        const QString rows = QStringLiteral(
            "insert into ABPerson (ROWID, First, guid) values (1, '%1', 'p1');"
            "insert into ABMultiValue (UID, record_id, property, value, guid) values (1, 1, 3, '+15550001', 'v1');");
        if (c.sqlitedb) {
            ASSERT_TRUE(backup.writeAddressBook(rows.arg(QStringLiteral("FromSqlitedb"))));
        }
        if (c.db) {
            ASSERT_TRUE(backup.writeAddressBook(rows.arg(QStringLiteral("FromDb")), QStringLiteral("AddressBook.db")));
        }

        MsgDbLoader loader;
        ASSERT_TRUE(loader.load(backup.folder()));
        ASSERT_EQ(loader.sessionCount(), 1);
        const QString expectedName = c.sqlitedb ? QStringLiteral("FromSqlitedb") : c.db ? QStringLiteral("FromDb") : QString();
        EXPECT_EQ(loader.sessionAt(0)->participants.value(1)->contactName, expectedName);
        if (!c.sqlitedb && !c.db) {
            const std::string missing = "0 Not exists: " + backup.path(QStringLiteral("AddressBook/AddressBook.db")).toStdString();
            EXPECT_EQ(doubles().logsOf("iTunesBackup"), (std::vector<std::string>{missing, missing}))
                << "each address-book reader says so once";
        }
    }
}

TEST_F(MsgDbLoaderTest, RelativeFolderResolvesAgainstTheWorkingDirectory)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(oneConversation)));
    const QFileInfo folder(backup.folder());

    WorkingDirectory cwd(folder.path());
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(folder.fileName()));
    EXPECT_EQ(loader.folder(), folder.fileName());
    EXPECT_EQ(loader.sessionCount(), 1);
    ASSERT_FALSE(doubles().openedPaths.isEmpty());
    EXPECT_EQ(doubles().openedPaths.first(), backup.smsDbPath());
    for (const QString& opened : qAsConst(doubles().openedPaths))
        EXPECT_TRUE(QDir::isAbsolutePath(opened)) << opened.toStdString();
}
