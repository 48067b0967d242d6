#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "service/MsgDbLoader.h"

#include <gtest/gtest.h>

namespace {

// One person over SMS (chat 3) and iMessage (chat 7) under one identifier, a
// group, a chat with participants but no messages, and messages of a chat
// row that does not exist.
const char* const conversations = R"(
insert into handle (ROWID, id, country, service, uncanonicalized_id) values
  (2, '+15550002', 'us', 'SMS', NULL), (5, '+15550005', 'us', 'SMS', NULL), (8, 'amy@example.com', NULL, 'iMessage', NULL);
insert into chat (ROWID, guid, style, chat_identifier, service_name, room_name) values
  (3, 'SMS;-;+15550005', 45, '+15550005', 'SMS', NULL),
  (7, 'iMessage;-;+15550005', 45, '+15550005', 'iMessage', NULL),
  (4, 'iMessage;+;chat42', 43, 'chat42', 'iMessage', 'Climbing'),
  (6, 'SMS;-;+15550002', 45, '+15550002', 'SMS', NULL);
insert into chat_handle_join (chat_id, handle_id) values (3, 5), (7, 5), (7, 8), (4, 5), (4, 8), (6, 2);
insert into message (ROWID, guid, text, handle_id, date, service, is_from_me, is_read) values
  (31, 'm31', 'sms old',      5, 100, 'SMS', 0, 1),
  (32, 'm32', 'sms new',      5, 900, 'SMS', 1, 0),
  (71, 'm71', 'imsg old',     5, 200, 'iMessage', 0, 0),
  (72, 'm72', 'imsg new',     5, 800, 'iMessage', 0, 0),
  (41, 'm41', 'group',        8, 500, 'iMessage', 0, 0),
  (99, 'm99', 'no chat',      5, 999, 'SMS', 0, 0);
insert into chat_message_join (chat_id, message_id) values
  (3, 31), (3, 32), (7, 71), (7, 72), (7, 32), (4, 41), (404, 99);
)";

QList<qint64> messageIds(const MsgSession* session)
{
    QList<qint64> ids;
    for (const MsgContent* message : session->messages)
        ids << message->id;
    return ids;
}

class SessionAssemblyTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
};

} // namespace

TEST_F(SessionAssemblyTest, ChatRowsSharingAnIdentifierMakeOneConversation)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(conversations)));
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));

    // Ordered by chat identifier; "+15550002" has participants but no message.
    ASSERT_EQ(loader.sessionCount(), 2);
    const MsgSession* person = loader.sessionAt(0);
    const MsgSession* group = loader.sessionAt(1);
    EXPECT_EQ(group->name, QStringLiteral("Climbing"));

    // Chat 3's messages newest first, then chat 7's; message 32 is in both.
    EXPECT_EQ(messageIds(person), (QList<qint64>{32, 31, 32, 72, 71}));
    EXPECT_NE(person->messages.at(0), person->messages.at(2));
    EXPECT_EQ(person->participants.keys(), (QList<qint64>{5, 8})) << "handle 5 once though in both rows";
    EXPECT_EQ(person->participants.value(8)->address, QStringLiteral("amy@example.com"));
    EXPECT_NE(person->participants.value(5), group->participants.value(5)) << "each session owns its copy";

    // Received and unread: 71 and 72; 32 is unread but sent by the owner.
    EXPECT_EQ(person->unreadCount, 2);
    EXPECT_EQ(group->unreadCount, 1);

    // Every message got its pieces.
    for (const MsgSession* session : {person, group})
        for (const MsgContent* message : session->messages)
            EXPECT_EQ(message->pieces.size(), 1) << message->id;
    EXPECT_EQ(person->messages.at(3)->pieces.at(0)->data, QByteArray("imsg new"));
}

TEST_F(SessionAssemblyTest, EverythingTheReadersMadeIsOwnedOrDeleted)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(conversations)));
    // Warm up lazily built statics (time zone, codecs) outside the count.
    { MsgDbLoader warm; warm.load(backup.folder()); }

    const long before = AllocationCounter::live();
    {
        MsgService service(QStringLiteral("dev"), false);
        ASSERT_TRUE(service.loadBackup(backup.folder()));
        // At least 2 sessions, 4 participants, 6 messages, 6 pieces and the loader.
        const long afterFirst = AllocationCounter::live();
        EXPECT_GE(afterFirst - before, 2 + 4 + 6 + 6 + 1);
        ASSERT_TRUE(service.loadBackup(backup.folder()));
        EXPECT_EQ(AllocationCounter::live(), afterFirst) << "a reload frees what the last load made";
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST_F(SessionAssemblyTest, FailedChatReadGivesNoSessionsButASuccessfulLoad)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(conversations)));
    ServiceDoubles::get().failingSql.insert("select rowid, chat_identifier, room_name, properties from chat");
    const long before = AllocationCounter::live();
    {
        MsgDbLoader loader;
        EXPECT_TRUE(loader.load(backup.folder()));
        EXPECT_EQ(loader.sessionCount(), 0);
    }
    EXPECT_EQ(AllocationCounter::live(), before) << "the unclaimed messages were deleted";
}

TEST_F(SessionAssemblyTest, EmptyChatTableGivesNoSessions)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into message (ROWID, guid, text, date) values (1, 'm1', 'orphan', 1);
insert into chat_message_join (chat_id, message_id) values (1, 1);
)")));
    MsgDbLoader loader;
    EXPECT_TRUE(loader.load(backup.folder()));
    EXPECT_EQ(loader.sessionCount(), 0);
}

TEST_F(SessionAssemblyTest, SessionsAreOrderedByIdentifierCodeUnitsNotByDateOrName)
{
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier, room_name) values
  (1, 'a', 'ann', 'Zed'), (2, 'b', 'Ann', 'Young'), (3, 'c', 'annie', 'Alpha'), (4, 'd', '+1555', 'Xeno');
insert into message (ROWID, guid, date) values (1, 'm1', 4), (2, 'm2', 3), (3, 'm3', 2), (4, 'm4', 1);
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2), (3, 3), (4, 4);
)")));
    MsgService service(QStringLiteral("dev"), false);
    ASSERT_TRUE(service.loadBackup(backup.folder()));
    QStringList names;
    for (unsigned i = 0; i < service.msgSessionCount(); ++i)
        names << service.msgSession(i)->name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("Xeno"), QStringLiteral("Young"), QStringLiteral("Zed"),
                                  QStringLiteral("Alpha")}));
}
