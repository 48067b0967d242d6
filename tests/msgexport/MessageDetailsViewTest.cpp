// What the details reader adds to the view: reactions under their targets,
// reply quotes, group event lines; and nothing at all where a backup has
// nothing to add.
#include "BackupBoundary.h"
#include "ConversationBuilder.h"
#include "HtmlWriter.h"
#include "JsonWriter.h"
#include "TestSupport.h"
#include "TextWriter.h"

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

    // The one conversation of a backup made of people and rows.
    ExportDocument exportOf(const QString& rows, bool withDetails)
    {
        const QString folder = temp.path() + QStringLiteral("/backup");
        QDir(folder).removeRecursively();
        makeBackup(folder, QString::fromLatin1(people) + rows
                               + QStringLiteral("INSERT INTO chat_message_join SELECT 1, ROWID, date FROM message;"));
        MsgService service(QStringLiteral("test"), false);
        EXPECT_TRUE(service.loadBackup(folder));
        MsgDetails details(folder);
        EXPECT_TRUE(details.load());
        const BackupBoundary boundary(folder);
        const ConversationBuilder builder(boundary, withDetails ? &details : nullptr);
        ExportDocument document;
        for (unsigned int i = 0; i < service.msgSessionCount(); ++i)
            document.conversations.append(builder.build(*service.msgSession(i), static_cast<int>(i)));
        return document;
    }
    QVector<MessageView> messagesOf(const QString& rows)
    {
        const ExportDocument document = exportOf(rows, true);
        return document.conversations.isEmpty() ? QVector<MessageView>() : document.conversations[0].messages;
    }
};

TEST_F(MessageDetailsViewTest, ABackupWithoutDetailsExportsExactlyAsWithoutTheReader)
{
    const QString rows = QStringLiteral(R"sql(
INSERT INTO message (ROWID, guid, text, handle_id, date, is_from_me, is_delivered, date_delivered, was_downgraded,
                     service, is_read)
VALUES (1, 'M1', 'hello', 1, 700000000000000000, 0, 1, 700000001000000000, 1, 'iMessage', 1),
       (2, 'M2', 'back', 0, 700000100000000000, 1, 1, 700000101000000000, 0, 'SMS', 0),
       (3, 'M3', NULL, 2, 700000200000000000, 0, 0, 0, 0, 'iMessage', 0);
)sql");
    const ExportDocument plain = exportOf(rows, false);
    const ExportDocument detailed = exportOf(rows, true);
    ASSERT_EQ(detailed.messageCount(), 3);
    EXPECT_EQ(TextWriter::render(detailed), TextWriter::render(plain));
    EXPECT_EQ(JsonWriter::render(detailed), JsonWriter::render(plain));
    EXPECT_EQ(HtmlWriter::conversationPage(detailed, detailed.conversations[0]),
              HtmlWriter::conversationPage(plain, plain.conversations[0]));
}

TEST_F(MessageDetailsViewTest, ReactionsGoUnderTheirTargetWithRemovalsApplied)
{
    const struct
    {
        std::vector<const char*> reactions; // "handle, is_from_me, type, 'target'", in date order
        std::vector<const char*> shown;
    } cases[] = {
        {{"1, 0, 2000, 'p:0/T'"}, {"\u2764\uFE0F +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 2001, 'p:0/T'"}, {"\U0001F44D +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 3000, 'p:0/T'"}, {}},
        {{"1, 0, 2000, 'p:0/T'", "1, 0, 3001, 'p:0/T'"}, {"\u2764\uFE0F +15550001"}},
        {{"1, 0, 2000, 'p:0/T'", "0, 1, 2003, 'bp:T'", "2, 0, 2005, 'p:1/T'"},
         {"\u2764\uFE0F +15550001", "\U0001F602 Me", "\u2753 +15550002"}},
        {{"1, 0, 2000, 'p:0/ELSEWHERE'"}, {}},
    };
    for (const auto& c : cases) {
        QString rows = QStringLiteral("INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'T', 'target', 2, 1);");
        for (size_t i = 0; i < c.reactions.size(); ++i)
            rows += QStringLiteral("INSERT INTO message (guid, date, text, handle_id, is_from_me, associated_message_type, "
                                   "associated_message_guid) VALUES ('R%1', %1, 'Loved \u201Ctarget\u201D', %2);")
                        .arg(i + 2)
                        .arg(QString::fromUtf8(c.reactions[i]));
        const QVector<MessageView> messages = messagesOf(rows);
        ASSERT_EQ(messages.size(), 1) << rows.toStdString(); // reactions are no messages
        QStringList shown, expected;
        for (const ReactionView& reaction : messages[0].details.reactions)
            shown << reaction.symbol() + QLatin1Char(' ') + reaction.senderName;
        for (const char* text : c.shown)
            expected << QString::fromUtf8(text);
        EXPECT_EQ(shown, expected) << rows.toStdString();
    }
}

TEST_F(MessageDetailsViewTest, RepliesQuoteAndGroupEventsReadAsOneLine)
{
    const QString longText = QStringLiteral("0123456789").repeated(7);
    const QVector<MessageView> messages = messagesOf(QStringLiteral(R"sql(
INSERT INTO message (ROWID, guid, text, handle_id, is_from_me, date, thread_originator_guid, item_type,
                     group_action_type, other_handle, group_title) VALUES
    (1, 'T', '%1', 1, 0, 1, NULL, 0, 0, 0, NULL),
    (2, 'A', 'sure', 2, 0, 2, 'T', 0, 0, 0, NULL),
    (3, 'B', 'what?', 2, 0, 3, 'GONE', 0, 0, 0, NULL),
    (4, 'E1', NULL, 1, 0, 4, NULL, 1, 0, 2, NULL),
    (5, 'E2', NULL, 0, 1, 5, NULL, 1, 1, 2, NULL),
    (6, 'E3', NULL, 2, 0, 6, NULL, 2, 0, 0, 'Hiking crew'),
    (7, 'E4', NULL, 9, 0, 7, NULL, 3, 0, 0, NULL),
    (8, 'E5', NULL, 1, 0, 8, NULL, 3, 1, 0, NULL);
)sql").arg(longText));
    ASSERT_EQ(messages.size(), 8);
    EXPECT_EQ(messages[1].details.replyToId, 1);
    EXPECT_EQ(messages[1].details.replyQuote, longText.left(60) + QChar(0x2026));
    EXPECT_EQ(messages[2].details.replyToGuid, QStringLiteral("GONE"));
    EXPECT_TRUE(messages[2].details.replyQuote.isEmpty());
    QStringList lines;
    for (int i = 3; i < messages.size(); ++i)
        lines << messages[i].details.groupEventText;
    EXPECT_EQ(lines, QStringList({QStringLiteral("+15550001 added +15550002 to the conversation"),
                                  QStringLiteral("You removed +15550002 from the conversation"),
                                  QStringLiteral("+15550002 named the conversation \u201CHiking crew\u201D"),
                                  QStringLiteral("Someone left the conversation"),
                                  QStringLiteral("+15550001 changed the group photo")}));
}

} // namespace
