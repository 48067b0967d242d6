#include "AllocationCounter.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/Ios6Chat.h"

#include <gtest/gtest.h>

namespace {

class Ios6ChatTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
    void TearDown() override { qDeleteAll(chats); }

    // Reads the chat table of a database with the given rows.
    void read(const QString& rows, const QString& schema = QStringLiteral("ios14-sms.sql"))
    {
        ASSERT_TRUE(backup.writeSmsDb(rows, schema));
        reader.exec({backup.smsDbPath()}, nullptr);
    }

    TestBackup backup;
    QMap<QString, MsgSession*> chats;
    Ios6Chat reader{&chats};
};

} // namespace

TEST_F(Ios6ChatTest, RowsSharingAnIdentifierFoldIntoOneSessionNamedByTheLaterRow)
{
    read(QStringLiteral(R"(
insert into chat (ROWID, guid, style, chat_identifier, service_name, room_name, display_name, properties)
values (3, 'SMS;-;+15550001', 45, '+15550001', 'SMS', 'Old name', '', x'62706c6973743030'),
       (7, 'iMessage;-;+15550001', 45, '+15550001', 'iMessage', '', 'Display', NULL),
       (5, 'iMessage;+;chat1', 43, 'chat123', 'iMessage', 'Team', 'Team', 'text');
)"));
    ASSERT_EQ(chats.keys(), (QStringList{QStringLiteral("+15550001"), QStringLiteral("chat123")}));
    EXPECT_EQ(reader.getChatRowids(QStringLiteral("+15550001")), (QList<qint64>{3, 7}));
    EXPECT_EQ(chats.value(QStringLiteral("+15550001"))->name, QString()) << "the later row wins, even when empty";
    EXPECT_EQ(chats.value(QStringLiteral("chat123"))->name, QStringLiteral("Team"));
    const MsgSession* session = chats.value(QStringLiteral("chat123"));
    EXPECT_EQ(session->unreadCount, 0);
    EXPECT_TRUE(session->participants.isEmpty());
    EXPECT_TRUE(session->messages.isEmpty());
}

TEST_F(Ios6ChatTest, IdentifiersAreKeptExactlyAsStored)
{
    read(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier, room_name) values
  (1, 'g1', NULL, 'null one'), (2, 'g2', '', 'empty one'),
  (3, 'g3', 'Ann@Example.com', NULL), (4, 'g4', 'ann@example.com', NULL),
  (5, 'g5', ' ann@example.com ', NULL);
)"));
    EXPECT_EQ(chats.keys(), (QStringList{QString(), QStringLiteral(" ann@example.com "),
                                         QStringLiteral("Ann@Example.com"), QStringLiteral("ann@example.com")}));
    EXPECT_EQ(reader.getChatRowids(QString()), (QList<qint64>{1, 2})) << "NULL and empty fold together";
    EXPECT_EQ(chats.value(QString())->name, QStringLiteral("empty one"));
    EXPECT_TRUE(chats.value(QStringLiteral("Ann@Example.com"))->name.isEmpty()) << "NULL room name";
}

TEST_F(Ios6ChatTest, UnknownIdentifierHasNoRowidsAndIsNotAdded)
{
    read(QString());
    EXPECT_TRUE(chats.isEmpty());
    EXPECT_TRUE(reader.getChatRowids(QStringLiteral("+15550001")).isEmpty());
    EXPECT_TRUE(reader.getChatRowids(QString()).isEmpty());
}

TEST_F(Ios6ChatTest, ChatTableWithoutPropertiesYieldsNoConversations)
{
    read(QStringLiteral(R"(
drop table chat;
create table chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, chat_identifier TEXT, room_name TEXT);
insert into chat (ROWID, guid, chat_identifier, room_name) values (1, 'g1', '+15550001', 'x');
)"));
    EXPECT_TRUE(chats.isEmpty());
    EXPECT_EQ(ServiceDoubles::get().logsOf("iTunesBackup").size(), 1u);
}

TEST_F(Ios6ChatTest, ReplacedSessionsAreDeletedAndTheRestBelongToTheTable)
{
    const long before = AllocationCounter::live();
    {
        QMap<QString, MsgSession*> table;
        {
            Ios6Chat chatReader(&table);
            ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'a', 'x'), (2, 'b', 'x'), (3, 'c', 'x'), (4, 'd', 'y');
)")));
            chatReader.exec({backup.smsDbPath()}, nullptr);
        }
        ASSERT_EQ(table.size(), 2);
        EXPECT_EQ(table.value(QStringLiteral("x"))->name, QString()); // still valid after the reader is gone
        qDeleteAll(table);
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}
