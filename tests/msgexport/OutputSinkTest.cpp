// The writers' output: Qt's own encodings byte for byte, and handed on while
// an export is still being made.
#include "OutputSink.h"
#include "TextWriter.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

TEST(OutputSink, EncodesAsQtDoes)
{
    for (const QString& text : {QString::fromUtf16(u"plain \u00e9\u20ac\U0001F600 \"q\" \\ / \x7f"),
                                QString::fromUtf16(u"\x01\b\f\n\r\t\x1f"), QString::fromUtf16(u"lone \xd800 and \xdc00 end \xd83d")}) {
        OutputSink out;
        out.json(text) << text;
        const QByteArray qtJson = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
        EXPECT_EQ(out.data(), qtJson.mid(1, qtJson.size() - 2) + text.toUtf8());
    }
    for (const qint64 number : {qint64(0), qint64(-737056931), qint64(1) << 53, (qint64(1) << 53) + 1, qint64(123456789012345678)}) {
        OutputSink out;
        out.jsonNumber(number);
        const QByteArray qtJson = QJsonDocument(QJsonArray{number}).toJson(QJsonDocument::Compact);
        EXPECT_EQ(out.data(), qtJson.mid(1, qtJson.size() - 2)) << number;
    }
}

TEST(OutputSink, AnExportIsWrittenWhileItIsMade)
{
    ConversationView big;
    big.messages.resize(5000);
    for (MessageView& message : big.messages)
        message.text = QStringLiteral("a hundred bytes ").repeated(6);
    QBuffer device;
    device.open(QIODevice::WriteOnly);
    ExportDocument document;
    document.madeConversations = 3;
    QList<qint64> writtenBefore;
    document.make = [&](int i, ConversationView* view, QString*) {
        writtenBefore << device.size();
        *view = i == 1 ? big : ConversationView();
        return true;
    };
    ExportTarget target;
    target.stream = &device;
    ASSERT_TRUE(TextWriter().write(document, target, nullptr));
    EXPECT_EQ(writtenBefore[0], 0);
    EXPECT_GT(writtenBefore[2], 400000) << "most of the big conversation written before the next is made";
    EXPECT_GT(device.size(), writtenBefore[2]);
}
