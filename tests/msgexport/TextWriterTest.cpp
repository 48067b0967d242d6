// The text format is read on terminals: text from the database must not be
// able to drive one.
#include "HtmlWriter.h"
#include "JsonWriter.h"
#include "TextWriter.h"

#include "TestSupport.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

TEST(TextWriterTest, ControlCharactersFromTheDatabaseReachNoTerminal)
{
    // Window title, clipboard write, screen clear, a carriage return that
    // fakes a line, C1's one-byte escape, a right-to-left override, an isolate.
    const QString hostile = QString::fromUtf16(u"a\x1b]0;owned\x07 \x1b]52;c;cGF5\x07 \x1b[2J\rFAKE \x9b" "31m \x7f"
                                               u"\x202e" "cod.exe \x2066x\x2069 \x01\x1f end\tcolumn");
    ConversationView conversation;
    conversation.title = hostile;
    conversation.participantLabels << hostile;
    MessageView message;
    message.senderName = hostile;
    message.subject = hostile;
    message.text = hostile + QStringLiteral("\nsecond line");
    message.details.replyQuote = hostile;
    PieceView piece;
    piece.kind = PieceView::Kind::Attachment;
    piece.attachment.fileName = hostile;
    piece.attachment.filePath = QStringLiteral("/backup/") + hostile;
    piece.attachment.previewPath = piece.attachment.filePath;
    message.pieces << piece;
    conversation.messages << message;
    ExportDocument document;
    document.backupFolder = hostile;
    document.conversations << conversation;

    const QString text = TextWriter::render(document);
    int controls = 0;
    for (const ushort c : {0x1b, 0x07, 0x0d, 0x01, 0x1f, 0x7f, 0x9b, 0x202e, 0x2066, 0x2069}) {
        EXPECT_FALSE(text.contains(QChar(c))) << std::hex << c;
        controls += hostile.count(QChar(c));
    }
    // Each control in each of the nine places the text shows became one
    // U+FFFD; the rest, tabs and lines included, is as it was.
    EXPECT_EQ(text.count(QChar::ReplacementCharacter), 9 * controls);
    EXPECT_TRUE(text.contains(QStringLiteral("\uFFFD[2J\uFFFDFAKE \uFFFD31m"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" end\tcolumn\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("second line\n"))) << text.toStdString();

    // The other formats escape by their own rules and keep the text whole.
    const QJsonDocument json = QJsonDocument::fromJson(JsonWriter::render(document));
    EXPECT_EQ(json[QStringLiteral("conversations")][0][QStringLiteral("title")].toString(), hostile);
    EXPECT_TRUE(HtmlWriter::conversationPage(document, conversation).contains(HtmlWriter::escape(hostile)));
    EXPECT_TRUE(HtmlWriter::escape(hostile).contains(QChar(0x202e)));
}
