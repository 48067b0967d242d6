#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"

#include <QDir>

#include <gtest/gtest.h>

#include <climits>

namespace {

// What a host sees when it reads the object's memory: the exported layout.
struct MsgServiceLayout
{
    void* vtable;
    QString deviceId;
    QString param4DB;
    QString backupPassword;
    void* loader;
    bool stopRequested;
    void (*backupCallback)(void*, double);
    void* backupCallbackContext;
    bool hostFlag;
};
static_assert(sizeof(MsgServiceLayout) == sizeof(MsgService), "MsgService layout");

const MsgServiceLayout& layoutOf(const MsgService& service)
{
    return *reinterpret_cast<const MsgServiceLayout*>(&service);
}

const QString deviceId = QStringLiteral("00008030-001A2B3C4D5E802E");

const char* const twoConversations = R"(
insert into chat (ROWID, guid, chat_identifier, room_name) values (1, 'c1', '+15550001', NULL), (2, 'c2', 'ann@example.com', NULL);
insert into message (ROWID, guid, text, date, service) values (1, 'm1', 'hello', 1, 'SMS'), (2, 'm2', 'hi', 2, 'iMessage');
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2);
)";

class MsgServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
    ServiceDoubles& doubles() { return ServiceDoubles::get(); }
};

int callbackCalls = 0;
void countingCallback(void*, double)
{
    ++callbackCalls;
}

} // namespace

TEST_F(MsgServiceTest, NewServiceHoldsItsArgumentsAndNoSessions)
{
    MsgService service(deviceId, true);
    EXPECT_TRUE(doubles().calls.empty()) << "the constructor calls no service";
    EXPECT_EQ(service.msgSessionCount(), 0u);
    EXPECT_EQ(service.msgSession(0), nullptr);
    EXPECT_EQ(service.msgSession(UINT_MAX), nullptr);
    EXPECT_EQ(service.startService(), 0);

    const MsgServiceLayout& layout = layoutOf(service);
    EXPECT_EQ(layout.deviceId, deviceId);
    EXPECT_TRUE(layout.param4DB.isEmpty());
    EXPECT_TRUE(layout.backupPassword.isEmpty());
    EXPECT_NE(layout.loader, nullptr);
    EXPECT_FALSE(layout.stopRequested);
    EXPECT_EQ(layout.backupCallback, nullptr);
    EXPECT_EQ(layout.backupCallbackContext, nullptr);
    EXPECT_TRUE(layout.hostFlag);
}

TEST_F(MsgServiceTest, SettersOnlyStoreTheirValues)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(twoConversations)));
    MsgService service(deviceId, false);
    int context = 0;
    service.setParam4DB(QStringLiteral("param"));
    service.setBackupPassword(QStringLiteral("secret"));
    service.setBackupCB(countingCallback, &context);
    callbackCalls = 0;
    ASSERT_TRUE(service.loadBackup(backup.folder()));

    const MsgServiceLayout& layout = layoutOf(service);
    EXPECT_EQ(layout.param4DB, QStringLiteral("param"));
    EXPECT_EQ(layout.backupPassword, QStringLiteral("secret"));
    EXPECT_EQ(layout.backupCallback, &countingCallback);
    EXPECT_EQ(layout.backupCallbackContext, &context);
    EXPECT_FALSE(layout.hostFlag);
    EXPECT_EQ(callbackCalls, 0) << "loads report no progress";
    EXPECT_EQ(service.msgSessionCount(), 2u);
}

TEST_F(MsgServiceTest, DeviceIdReachesEveryBackupCallUnchanged)
{
    {
        MsgService service(deviceId, false);
        service.getBDPath();
        service.isBackupDevice(false);
        service.loadSMSOnly();
        doubles().backuping = true;
        service.shutdownService();
    }
    int backupCalls = 0;
    for (const std::string& call : doubles().calls) {
        if (call.rfind("VexoBackup::", 0) != 0)
            continue;
        ++backupCalls;
        EXPECT_NE(call.find("(" + deviceId.toStdString() + ")"), std::string::npos) << call;
    }
    // getBDPath, isBackupDevice, loadSMSOnly, shutdown (2), destructor (2)
    EXPECT_EQ(backupCalls, 7);
}

TEST_F(MsgServiceTest, BackupPathIsFollowedByTheDatabaseWithForwardSlashes)
{
    doubles().backupPath = QStringLiteral("C:\\Users\\me\\Apple\\Backup\\dev");
    MsgService service(deviceId, false);
    EXPECT_EQ(service.getBDPath(), QStringLiteral("C:\\Users\\me\\Apple\\Backup\\dev/SMS/sms.db"));
}

TEST_F(MsgServiceTest, IsBackupDeviceIsTrueOnlyWhileNoBackupRunsWhateverForce)
{
    MsgService service(deviceId, false);
    EXPECT_TRUE(service.isBackupDevice(false));
    EXPECT_TRUE(service.isBackupDevice(true));
    doubles().backuping = true;
    EXPECT_FALSE(service.isBackupDevice(false));
    EXPECT_FALSE(service.isBackupDevice(true));
}

TEST_F(MsgServiceTest, ShutdownCancelsARunningBackupAndKeepsTheSessions)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(twoConversations)));
    MsgService service(deviceId, false);
    ASSERT_TRUE(service.loadBackup(backup.folder()));

    doubles().calls.clear();
    service.shutdownService();
    EXPECT_EQ(doubles().calls, (std::vector<std::string>{"VexoBackup::isDeviceBackuping(" + deviceId.toStdString() + ")"}));
    EXPECT_TRUE(layoutOf(service).stopRequested);

    doubles().backuping = true;
    doubles().calls.clear();
    service.shutdownService();
    EXPECT_EQ(doubles().calls, (std::vector<std::string>{"VexoBackup::isDeviceBackuping(" + deviceId.toStdString() + ")",
                                                         "VexoBackup::cancelBackup(" + deviceId.toStdString() + ")"}));
    EXPECT_EQ(service.msgSessionCount(), 2u);
    ASSERT_NE(service.msgSession(1), nullptr);
    EXPECT_TRUE(service.loadBackup(backup.folder())) << "loads keep working after a shutdown";
}

TEST_F(MsgServiceTest, DestructorStepsComeInOrderAndFreeTheSessionsBetweenTheLastTwoLines)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(twoConversations)));
    for (const bool backuping : {false, true}) {
        SCOPED_TRACE(backuping ? "backup running" : "no backup");
        ServiceDoubles::reset();
        const long before = AllocationCounter::live();
        auto* service = new MsgService(deviceId, false);
        ASSERT_TRUE(service->loadBackup(backup.folder()));
        doubles().backuping = backuping;
        doubles().calls.clear();
        doubles().logs.clear();
        delete service;
        const long after = AllocationCounter::live();

        const std::string id = deviceId.toStdString();
        std::vector<std::string> expected{"Log MSGSER 1 des-construct", "UserDbHelper::instance()",
                                          "UserDbHelper::release()", "VexoBackup::isDeviceBackuping(" + id + ")"};
        if (backuping)
            expected.push_back("VexoBackup::cancelBackup(" + id + ")");
        expected.push_back("Log MSGSER 1 finished 01");
        expected.push_back("Log MSGSER 1 finished");
        EXPECT_EQ(doubles().calls, expected);

        ASSERT_EQ(doubles().logs.size(), 3u);
        // The sessions are still alive at "finished 01" and gone at "finished".
        EXPECT_GT(doubles().logs[1].liveObjects, doubles().logs[2].liveObjects + 2);
        EXPECT_EQ(after, before);
    }
}

TEST_F(MsgServiceTest, LoadSmsOnlyLoadsTheDeviceBackupAndAnswersOneOrZero)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(twoConversations)));
    MsgService service(deviceId, false);
    doubles().backupPath = backup.folder();
    EXPECT_EQ(service.loadSMSOnly(), 1);
    EXPECT_EQ(service.msgSessionCount(), 2u);
    EXPECT_TRUE(doubles().openedPaths.contains(QDir::toNativeSeparators(backup.smsDbPath())));

    doubles().backupPath = backup.path(QStringLiteral("no-such-device"));
    EXPECT_EQ(service.loadSMSOnly(), 0);
    EXPECT_EQ(service.msgSessionCount(), 0u);
}

TEST_F(MsgServiceTest, EachLoadReplacesTheSessionsOfTheLastAndAFailedLoadLeavesNone)
{
    TestBackup first;
    ASSERT_TRUE(first.writeSmsDb(QString::fromUtf8(twoConversations)));
    TestBackup second;
    ASSERT_TRUE(second.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'bob@example.com');
insert into message (ROWID, guid, text, date) values (1, 'm1', 'only one', 5);
insert into chat_message_join (chat_id, message_id) values (1, 1);
)")));
    const long before = AllocationCounter::live();
    {
        MsgService service(deviceId, false);
        ASSERT_TRUE(service.loadBackup(first.folder()));
        ASSERT_EQ(service.msgSessionCount(), 2u);
        ASSERT_TRUE(service.loadBackup(second.folder()));
        ASSERT_EQ(service.msgSessionCount(), 1u);
        ASSERT_EQ(service.msgSession(0)->messages.size(), 1);
        EXPECT_EQ(service.msgSession(0)->messages.at(0)->pieces.at(0)->data, QByteArray("only one"));
        EXPECT_EQ(service.msgSession(1), nullptr);

        EXPECT_FALSE(service.loadBackup(first.path(QStringLiteral("missing"))));
        EXPECT_EQ(service.msgSessionCount(), 0u);
        EXPECT_EQ(service.msgSession(0), nullptr);
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}
