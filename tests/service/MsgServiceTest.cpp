#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString deviceId = QStringLiteral("00008030-001A2B3C4D5E802E");
const std::string id = deviceId.toStdString();

class MsgServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+15550001'), (2, 'c2', 'ann@example.com');
insert into message (ROWID, guid, text, date) values (1, 'm1', 'hello', 1), (2, 'm2', 'hi', 2);
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2);
)")));
    }
    ServiceDoubles& doubles() { return ServiceDoubles::get(); }
    TestBackup backup;
};

} // namespace

TEST_F(MsgServiceTest, BackupCallsCarryTheDeviceIdAndAnswerFromTheBackupLibrary)
{
    doubles().backupPath = QStringLiteral("C:\\Users\\me\\Backup\\dev");
    MsgService service(deviceId, false);
    EXPECT_TRUE(doubles().calls.empty()) << "the constructor calls no service";
    EXPECT_EQ(service.getBDPath(), QStringLiteral("C:\\Users\\me\\Backup\\dev/SMS/sms.db"));
    EXPECT_TRUE(service.isBackupDevice(true));
    doubles().backuping = true;
    EXPECT_FALSE(service.isBackupDevice(false));
    doubles().calls.clear();
    service.shutdownService();
    EXPECT_EQ(doubles().calls, (std::vector<std::string>{"VexoBackup::isDeviceBackuping(" + id + ")",
                                                         "VexoBackup::cancelBackup(" + id + ")"}));

    doubles().backupPath = backup.folder();
    EXPECT_EQ(service.loadSMSOnly(), 1) << "loads keep working after a shutdown";
    EXPECT_EQ(service.msgSessionCount(), 2u);
    EXPECT_TRUE(doubles().openedPaths.contains(backup.smsDbPath())) << "QDir gives '/' back on Windows too";
    doubles().backupPath = backup.path(QStringLiteral("no-such-device"));
    EXPECT_EQ(service.loadSMSOnly(), 0);
    EXPECT_EQ(service.msgSessionCount(), 0u);
}

TEST_F(MsgServiceTest, EachLoadReplacesTheLastAndAFailedLoadLeavesNothing)
{
    TestBackup second;
    ASSERT_TRUE(second.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'bob@example.com');
insert into message (ROWID, guid, text, date) values (1, 'm1', 'only one', 5);
insert into chat_message_join (chat_id, message_id) values (1, 1);
)")));
    const long before = AllocationCounter::live();
    {
        MsgService service(deviceId, false);
        ASSERT_TRUE(service.loadBackup(backup.folder()));
        ASSERT_TRUE(service.loadBackup(second.folder()));
        ASSERT_EQ(service.msgSessionCount(), 1u);
        EXPECT_EQ(service.msgSession(0)->messages.at(0)->pieces.at(0)->data, QByteArray("only one"));
        EXPECT_EQ(service.msgSession(1), nullptr);
        EXPECT_FALSE(service.loadBackup(backup.path(QStringLiteral("missing"))));
        EXPECT_EQ(service.msgSessionCount(), 0u);
        EXPECT_EQ(service.msgSession(0), nullptr);
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST_F(MsgServiceTest, RefusesWhatIsNoMessageDatabaseOfIos6OrLaterAndResolvesRelativeFolders)
{
    const std::string schemaTest = "select count(*) from sqlite_master where type = 'table' and name = 'chat_message_join'";
    TestBackup text;
    text.writeFile(QStringLiteral("SMS/sms.db"), QByteArray("not a database\n").repeated(200));
    TestBackup ios5;
    ASSERT_TRUE(ios5.writeSmsDb(QString(), QStringLiteral("ios5-sms.sql")));
    MsgService service(deviceId, false);
    for (const TestBackup* refused : {&text, &ios5, &backup}) {
        ServiceDoubles::reset();
        const QString folder = refused == &backup ? backup.path(QStringLiteral("none")) : refused->folder();
        EXPECT_FALSE(service.loadBackup(folder));
        const std::string db = QDir(folder).filePath(QStringLiteral("SMS/sms.db")).toStdString();
        EXPECT_EQ(doubles().logsOf("iTunesBackup"), refused == &ios5 ? std::vector<std::string>{}
                  : refused == &text ? std::vector<std::string>{"1 Fail to query sql \"" + schemaTest + "\" for db " + db}
                                     : std::vector<std::string>{"1 Fail to open db file: " + db});
        EXPECT_LE(doubles().preparedSql.size(), 1u) << "no table is read";
    }
    const QFileInfo folder(backup.folder());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const bool loaded = service.loadBackup(folder.fileName());
    QDir::setCurrent(previous);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(service.msgSessionCount(), 2u);
    EXPECT_TRUE(QDir::isAbsolutePath(doubles().openedPaths.last())) << doubles().openedPaths.last().toStdString();
}

TEST_F(MsgServiceTest, DestructorStepsComeInOrderAndFreeTheSessionsBetweenTheLastTwoLines)
{
    for (const bool backuping : {false, true}) {
        SCOPED_TRACE(backuping);
        ServiceDoubles::reset();
        const long before = AllocationCounter::live();
        auto* service = new MsgService(deviceId, false);
        ASSERT_TRUE(service->loadBackup(backup.folder()));
        doubles().backuping = backuping;
        doubles().calls.clear();
        doubles().logs.clear();
        delete service;
        const long after = AllocationCounter::live();
        std::vector<std::string> expected{"Log MSGSER 1 des-construct", "UserDbHelper::instance()",
                                          "UserDbHelper::release()", "VexoBackup::isDeviceBackuping(" + id + ")"};
        if (backuping)
            expected.push_back("VexoBackup::cancelBackup(" + id + ")");
        expected.insert(expected.end(), {"Log MSGSER 1 finished 01", "Log MSGSER 1 finished"});
        EXPECT_EQ(doubles().calls, expected);
        ASSERT_EQ(doubles().logs.size(), 3u);
        EXPECT_GT(doubles().logs[1].liveObjects, doubles().logs[2].liveObjects + 2) << "sessions freed after \"finished 01\"";
        EXPECT_EQ(after, before);
    }
}
