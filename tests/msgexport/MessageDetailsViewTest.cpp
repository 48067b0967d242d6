// Reactions under their targets, with later ones and removals applied. Reply
// quotes, group event lines and messages without details are in the goldens
// of the sample backup.
#include "BackupBoundary.h"
#include "ConversationBuilder.h"
#include "TestSupport.h"

#include "MsgDetails.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const char* const people = R"sql(
INSERT INTO handle (ROWID, id, service) VALUES (1, '+15550001', 'iMessage'), (2, '+15550002', 'iMessage');
INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (1, 'c1', 'group');
INSERT INTO chat_handle_join VALUES (1, 1), (1, 2);
)sql";

class MessageDetailsViewTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;

    // The messages of the one conversation of a backup made of people and rows.
    QVector<MessageView> messagesOf(const QString& rows)
    {
        const QString folder = temp.path() + QStringLiteral("/backup");
        QDir(folder).removeRecursively();
        makeBackup(folder, QString::fromLatin1(people) + rows
                               + QStringLiteral("INSERT INTO chat_message_join SELECT 1, ROWID, date FROM message;"));
        MsgService service(QStringLiteral("test"), false);
        MsgDetails details(folder);
        EXPECT_TRUE(service.loadBackup(folder) && details.load());
        if (service.msgSessionCount() != 1)
            return {};
        const BackupBoundary boundary(folder);
        return ConversationBuilder(boundary, &details).build(*service.msgSession(0), 0).messages;
    }
};

TEST_F(MessageDetailsViewTest, ReactionsGoUnderTheirTargetWithRemovalsApplied)
{
    // reactions as "handle, is_from_me, type, 'target'" in date order, and what the target shows
    const std::pair<std::vector<const char*>, std::vector<const char*>> cases[] = {
        {{"1, 0, 2000, 'p:0/T'"}, {"\u2764\uFE0F +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 2001, 'p:0/T'"}, {"\U0001F44D +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 3000, 'p:0/T'"}, {}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 3001, 'p:0/T'"}, {"\u2764\uFE0F +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "0, 1, 2003, 'bp:T'", "2, 0, 2005, 'p:1/T'"},
         {"\u2764\uFE0F +15550001", "\U0001F602 Me", "\u2753 +15550002"}},
        {{"1, 0, 2000, 'p:0/ELSEWHERE'"}, {}},
        // A replacement goes to the end; another part of the same person keeps its own.
        {{"1, 0, 2000, 'p:0/T'", "2, 0, 2001, 'p:0/T'", "1, 0, 2003, 'p:0/T'", "1, 0, 2004, 'p:1/T'"},
         {"\U0001F44D +15550002", "\U0001F602 +15550001", "\u203C\uFE0F +15550001"}},
    };
    for (const auto& [reactions, symbols] : cases) {
        QString rows = QStringLiteral("INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'T', 'target', 2, 1);");
        for (size_t i = 0; i < reactions.size(); ++i)
            rows += QStringLiteral("INSERT INTO message (guid, date, text, handle_id, is_from_me, associated_message_type, "
                                   "associated_message_guid) VALUES ('R%1', %1, 'Loved \u201Ctarget\u201D', %2);")
                        .arg(i + 2)
                        .arg(QString::fromUtf8(reactions[i]));
        const QVector<MessageView> messages = messagesOf(rows);
        ASSERT_EQ(messages.size(), 1) << rows.toStdString(); // reactions are no messages
        QStringList shown, expected;
        for (const ReactionView& reaction : messages[0].details.reactions)
            shown << reaction.symbol() + QLatin1Char(' ') + reaction.senderName;
        for (const char* text : symbols)
            expected << QString::fromUtf8(text);
        EXPECT_EQ(shown, expected) << rows.toStdString();
    }
}

TEST_F(MessageDetailsViewTest, ManyReactionsOnOneMessageKeepOnePerPersonInOrder)
{
    // 12 000 people love the message; the even ones take it back, and every
    // third one then likes it instead.
    const QString rows = QStringLiteral(R"sql(
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'T', 'target', 2, 1);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12000)
INSERT INTO handle (ROWID, id, service) SELECT 100 + i, 'h' || i, 'iMessage' FROM n;
INSERT INTO chat_handle_join SELECT 1, ROWID FROM handle WHERE ROWID > 100;
INSERT INTO message (guid, date, text, handle_id, associated_message_type, associated_message_guid)
  SELECT 'L' || (ROWID - 100), ROWID, 'x', ROWID, 2000, 'p:0/T' FROM handle WHERE ROWID > 100;
INSERT INTO message (guid, date, text, handle_id, associated_message_type, associated_message_guid)
  SELECT 'U' || (ROWID - 100), 20000 + ROWID, 'x', ROWID, 3000, 'p:0/T' FROM handle WHERE ROWID > 100 AND (ROWID - 100) % 2 = 0;
INSERT INTO message (guid, date, text, handle_id, associated_message_type, associated_message_guid)
  SELECT 'K' || (ROWID - 100), 40000 + ROWID, 'x', ROWID, 2001, 'p:0/T' FROM handle WHERE ROWID > 100 AND (ROWID - 100) % 3 = 0;
)sql");
    const QVector<MessageView> messages = messagesOf(rows);
    ASSERT_EQ(messages.size(), 1);
    QStringList shown, expected;
    for (const ReactionView& reaction : messages[0].details.reactions)
        shown << reaction.kind + QLatin1Char(' ') + reaction.senderName;
    for (int i = 1; i <= 12000; ++i) {
        if (i % 2 != 0 && i % 3 != 0)
            expected << QStringLiteral("loved h%1").arg(i);
    }
    for (int i = 3; i <= 12000; i += 3)
        expected << QStringLiteral("liked h%1").arg(i);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_EQ(shown, expected);
}

} // namespace

namespace {

// Whatever an app's payload holds, its message says something: the app and
// its texts, its kind, or the bundle id of an app nobody knows.
TEST_F(MessageDetailsViewTest, AppMessagesAreNeverEmptyLines)
{
    const QVector<MessageView> messages = messagesOf(QStringLiteral(
        "INSERT INTO message (ROWID, guid, text, handle_id, date, balloon_bundle_id, payload_data) VALUES "
        "(1, 'a', char(65532), 1, 1, 'com.apple.messages.MSMessageExtensionBalloonPlugin:T:com.example.game', "
        "app_payload('{\"an\": \"Game\", \"userInfo\": {\"caption\": \"Game\", \"subcaption\": \"Go\"}}')), "
        "(2, 'b', char(65532), 1, 2, 'com.apple.DigitalTouchBalloonProvider', X'00'), "
        "(3, 'c', char(65532), 2, 3, 'com.apple.messages.MSMessageExtensionBalloonPlugin:T:org.example.x', NULL), "
        "(4, 'd', char(65532), 2, 4, 'org.example.y', app_payload('{\"userInfo\": {\"caption\": \"Hi\"}}'));"));
    QStringList lines;
    for (const MessageView& message : messages)
        lines << message.details.app.line();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Game: Go"), QStringLiteral("Digital Touch"),
                                  QStringLiteral("unknown app org.example.x"),
                                  QStringLiteral("Hi (unknown app org.example.y)")}));
}

} // namespace
