#include "MsgContent.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/Ios6Message.h"

#include <gtest/gtest.h>

namespace {

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
        ASSERT_TRUE(backup.writeSmsDb(QStringLiteral("insert into chat (ROWID, guid, chat_identifier) values "
                                                     "(1, 'c1', 'a'), (2, 'c2', 'b');") + rows, schema));
        reader.exec({backup.smsDbPath()}, nullptr);
    }
    TestBackup backup;
    QMap<qint64, QList<MsgContent*>> messages;
    Ios6Message reader{&messages};
};

} // namespace

TEST_F(Ios6MessageTest, OlderSchemasFallBackToPoorerStatements)
{
    // Without attributedBody the second statement; iOS 6 lacks item_type too.
    const char* const rows = "insert into message (ROWID, guid, text, date) values (1, 'm1', 'hi', 1);"
                             "insert into chat_message_join (chat_id, message_id) values (1, 1);";
    read(QStringLiteral("alter table message drop column attributedBody;") + QLatin1String(rows));
    read(QLatin1String(rows), QStringLiteral("ios6-sms.sql"));
    std::vector<std::string> failed;
    for (const std::string& line : ServiceDoubles::get().logsOf("iTunesBackup"))
        failed.push_back(line.substr(0, line.find(", m.item_type")));
    const std::string first = "1 Fail to query sql \"select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, "
                              "m.service, m.is_from_me, m.is_read, m.is_sent, m.date_read, m.error";
    EXPECT_EQ(failed, (std::vector<std::string>{first, first, first}));
    ASSERT_EQ(messages.value(1).size(), 2) << "one message of each run";
    EXPECT_EQ(reader.getText(1), QStringLiteral("hi"));
}

TEST_F(Ios6MessageTest, DatesAreTheDatabasesSecondsAsQtMakesThem)
{
    // Nanoseconds and seconds, across the months of a year (the inline
    // conversion computes days from civil dates) and at the edges.
    QList<qint64> values{0, 1, 1000000000, 1000000001, 5000000000000000000LL, 500000000123456789};
    for (int day = 0; day < 400; day += 13)
        values << 725846400 + day * 86400LL + day * 1297 << (725846400 + day * 86400LL) * 1000000000;
    QString rows;
    for (int i = 0; i < values.size(); ++i)
        rows += QStringLiteral("insert into message (ROWID, guid, date, date_read) values (%1, 'm%1', %2, %2);"
                               "insert into chat_message_join (chat_id, message_id) values (1, %1);")
                    .arg(i + 1).arg(values.at(i));
    read(rows);
    ASSERT_EQ(messages.value(1).size(), values.size());
    for (const MsgContent* m : messages.value(1)) {
        const QDateTime expected = Ios6Message::toDateTime(values.at(static_cast<int>(m->id) - 1));
        EXPECT_EQ(m->date, expected) << values.at(static_cast<int>(m->id) - 1);
        EXPECT_EQ(m->dateRead, expected);
    }
    EXPECT_EQ(Ios6Message::toDateTime(1000000000).toSecsSinceEpoch(), 1000000000) << "10^9 itself is seconds";
    EXPECT_EQ(Ios6Message::toDateTime(1000000001).toSecsSinceEpoch(), 1);
    EXPECT_EQ(Ios6Message::toDateTime(5000000000000000000LL).toSecsSinceEpoch(), 705032704) << "the low 32 bits";
}

// The columns in use are checked whole in the msgexport goldens; here the
// edges of the service column and of the texts.
TEST_F(Ios6MessageTest, OnlyTheExactServiceSmsCountsAsSmsAndTextsAreKeptPerRowid)
{
    read(QStringLiteral(R"(
insert into message (ROWID, guid, date, service, text, attributedBody) values (1, 'm1', 6, 'SMS', 'same', archived_body('same')),
  (2, 'm2', 5, 'sms', 'text', archived_body('body')), (3, 'm3', 4, NULL, NULL, x''), (4, 'm4', 3, 'SMS ', '', x'00');
insert into chat_message_join (chat_id, message_id) values (1, 1), (1, 2), (1, 3), (1, 4), (2, 2);
)"));
    QList<int> nonSms;
    for (const MsgContent* m : messages.value(1))
        nonSms << m->isNonSms;
    EXPECT_EQ(nonSms, (QList<int>{0, 1, 1, 1}));
    EXPECT_EQ(reader.getText(1), QStringLiteral("same"));
    EXPECT_EQ(reader.getText(2), QStringLiteral("text"));
    EXPECT_TRUE(reader.getText(3).isEmpty());
    EXPECT_EQ(&reader.getText(999), &reader.getText(998)) << "unknown rowids share the one empty text";
}
