#include "MsgContent.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/Ios6Message.h"

#include <gtest/gtest.h>

namespace {

const char* const statement1 =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle, "
    "m.attributedBody from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id inner "
    "join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const statement2 =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle,0 from "
    "message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id inner join chat on chat.rowid "
    "= cmj.chat_id order by m.date desc";

const char* const chats = R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+15550001'), (2, 'c2', 'group'), (3, 'c3', 'quiet');
)";

class Ios6MessageTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
    void TearDown() override
    {
        for (const QList<MsgContent*>& list : qAsConst(messages))
            qDeleteAll(list);
    }
    void read(const QString& rows, const QString& schema = QStringLiteral("ios14-sms.sql"))
    {
        ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(chats) + rows, schema));
        reader.exec({backup.smsDbPath()}, nullptr);
    }
    std::vector<std::string> failedStatements() const
    {
        std::vector<std::string> lines;
        for (const std::string& line : ServiceDoubles::get().logsOf("iTunesBackup"))
            lines.push_back(line.substr(0, line.find("\" for db ")));
        return lines;
    }

    TestBackup backup;
    QMap<qint64, QList<MsgContent*>> messages;
    Ios6Message reader{&messages};
};

QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

} // namespace

TEST_F(Ios6MessageTest, RecentSchemaReadsEveryColumnAndDecodesTheBody)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, text, handle_id, subject, date, date_read, service, is_from_me, is_read, is_sent,
                     error, item_type, share_status, share_direction, other_handle, attributedBody)
values (10, 'm10', 'plain text', 4, 'Re: lunch', 500000000123456789, 500000100, 'iMessage', 1, 1, 1,
        7, 2, 3, 1, 6, archived_body('decoded text'));
insert into chat_message_join (chat_id, message_id, message_date) values (1, 10, 0);
)"));
    EXPECT_TRUE(ServiceDoubles::get().logs.empty());
    ASSERT_EQ(messages.value(1).size(), 1);
    const MsgContent* m = messages.value(1).at(0);
    EXPECT_EQ(m->id, 10);
    EXPECT_EQ(m->handleId, 4);
    EXPECT_EQ(m->subject, QStringLiteral("Re: lunch"));
    EXPECT_EQ(m->date.toUTC(), utc("1985-11-05T00:53:20Z"));
    EXPECT_EQ(m->dateRead.toUTC(), utc("1985-11-05T00:55:00Z"));
    EXPECT_EQ(m->isNonSms, 1);
    EXPECT_EQ(m->isFromMe, 1);
    EXPECT_EQ(m->isRead, 1);
    EXPECT_EQ(m->isSent, 1);
    EXPECT_EQ(m->error, 7);
    EXPECT_EQ(m->itemType, 2);
    EXPECT_EQ(m->shareStatus, 3);
    EXPECT_EQ(m->shareDirection, 1);
    EXPECT_EQ(m->otherHandle, 6);
    EXPECT_EQ(m->attributedText, QStringLiteral("decoded text"));
    EXPECT_TRUE(m->pieces.isEmpty());
    EXPECT_TRUE(m->extraFlag);
    EXPECT_EQ(reader.getText(10), QStringLiteral("plain text"));
}

TEST_F(Ios6MessageTest, SchemaWithoutAttributedBodyUsesTheSecondStatement)
{
    read(QStringLiteral(R"(
alter table message drop column attributedBody;
insert into message (ROWID, guid, text, date, item_type, other_handle) values (1, 'm1', 'hi', 1, 4, 9);
insert into chat_message_join (chat_id, message_id) values (1, 1);
)"));
    EXPECT_EQ(failedStatements(), (std::vector<std::string>{"1 Fail to query sql \"" + std::string(statement1)}));
    ASSERT_EQ(messages.value(1).size(), 1);
    EXPECT_EQ(messages.value(1).at(0)->itemType, 4);
    EXPECT_EQ(messages.value(1).at(0)->otherHandle, 9);
    EXPECT_TRUE(messages.value(1).at(0)->attributedText.isEmpty()) << "the literal 0 decodes to nothing";
}

TEST_F(Ios6MessageTest, OldestSchemaUsesTheThirdStatementWithZeroesForMissingColumns)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, text, date, service, error, attributedBody)
values (1, 'm1', 'from iOS 6', 400000000, 'SMS', 2, archived_body('not read by this statement'));
insert into chat_message_join (chat_id, message_id) values (1, 1);
)"),
         QStringLiteral("ios6-sms.sql"));
    EXPECT_EQ(failedStatements(), (std::vector<std::string>{"1 Fail to query sql \"" + std::string(statement1),
                                                            "1 Fail to query sql \"" + std::string(statement2)}));
    ASSERT_EQ(messages.value(1).size(), 1);
    const MsgContent* m = messages.value(1).at(0);
    EXPECT_EQ(m->isNonSms, 0);
    EXPECT_EQ(m->error, 2);
    EXPECT_EQ(m->itemType + m->shareStatus + m->shareDirection + m->otherHandle, 0);
    EXPECT_TRUE(m->attributedText.isEmpty());
    EXPECT_EQ(reader.getText(1), QStringLiteral("from iOS 6"));
}

TEST_F(Ios6MessageTest, MessageInTwoChatsGivesTwoObjectsNewestFirstInEach)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, text, date) values (1, 'm1', 'oldest', 100), (2, 'm2', 'shared', 300), (3, 'm3', 'newest', 500);
insert into chat_message_join (chat_id, message_id) values (1, 1), (1, 2), (1, 3), (2, 2), (404, 3);
)"));
    ASSERT_EQ(messages.keys(), (QList<qint64>{1, 2})) << "no key for a chat without messages";
    QList<qint64> ids;
    for (const MsgContent* m : messages.value(1))
        ids << m->id;
    EXPECT_EQ(ids, (QList<qint64>{3, 2, 1}));
    ASSERT_EQ(messages.value(2).size(), 1);
    EXPECT_EQ(messages.value(2).at(0)->id, 2);
    EXPECT_NE(messages.value(2).at(0), messages.value(1).at(1));
    EXPECT_EQ(reader.getText(2), QStringLiteral("shared"));
}

TEST_F(Ios6MessageTest, DatesAreBroughtToSecondsWithoutAnEpochShift)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, date, date_read) values
  (1, 'm1', 500000000, NULL), (2, 'm2', 500000000123456789, 0), (3, 'm3', 1000000000, 1000000001);
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2), (3, 3);
)"));
    EXPECT_EQ(messages.value(1).at(0)->date.toUTC(), utc("1985-11-05T00:53:20Z"));
    EXPECT_EQ(messages.value(2).at(0)->date.toUTC(), utc("1985-11-05T00:53:20Z"));
    EXPECT_EQ(messages.value(3).at(0)->date.toUTC(), utc("2001-09-09T01:46:40Z")) << "10^9 is not divided";
    EXPECT_EQ(messages.value(3).at(0)->dateRead.toUTC(), utc("1970-01-01T00:00:01Z")) << "10^9 + 1 is";
    for (qint64 chat : {1, 2}) {
        const QDateTime read = messages.value(chat).at(0)->dateRead;
        EXPECT_TRUE(read.isValid());
        EXPECT_EQ(read.toUTC(), utc("1970-01-01T00:00:00Z")) << "NULL and 0 give the epoch";
    }
    // Seconds beyond 32 bits keep their low 32 bits: 5e9 - 2^32 = 705032704.
    EXPECT_EQ(Ios6Message::toDateTime(5000000000000000000LL).toUTC(), QDateTime::fromTime_t(705032704u).toUTC());
    EXPECT_EQ(Ios6Message::toDateTime(-1).toUTC(), QDateTime::fromTime_t(0xFFFFFFFFu).toUTC());
}

TEST_F(Ios6MessageTest, OnlyTheExactServiceSmsCountsAsSms)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, date, service) values
  (1, 'm1', 6, 'SMS'), (2, 'm2', 5, 'sms'), (3, 'm3', 4, 'iMessage'), (4, 'm4', 3, ''), (5, 'm5', 2, NULL), (6, 'm6', 1, 'SMS ');
insert into chat_message_join (chat_id, message_id) values (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (1, 6);
)"));
    QList<int> nonSms;
    for (const MsgContent* m : messages.value(1))
        nonSms << m->isNonSms;
    EXPECT_EQ(nonSms, (QList<int>{0, 1, 1, 1, 1, 1}));
}

TEST_F(Ios6MessageTest, MissingBodiesAndTextsReadAsEmpty)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, text, date, attributedBody) values
  (1, 'm1', NULL, 3, NULL), (2, 'm2', 'x', 2, x''), (3, 'm3', '', 1, x'00');
insert into chat_message_join (chat_id, message_id) values (1, 1), (1, 2), (1, 3);
)"));
    ASSERT_EQ(messages.value(1).size(), 3);
    for (const MsgContent* m : messages.value(1))
        EXPECT_TRUE(m->attributedText.isEmpty()) << m->id;
    EXPECT_TRUE(reader.getText(1).isEmpty());
    EXPECT_TRUE(reader.getText(999).isEmpty());
    EXPECT_EQ(&reader.getText(999), &reader.getText(998)) << "unknown rowids share the one empty text";
}
