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

TEST(OutputSink, EveryKindOfAppendLandsInOrderAcrossGrowthAndFlushes)
{
    // Far beyond a sink's first room, and beyond a device sink's flush size.
    const QString words = QString::fromUtf16(u"caf\u00e9 <\"\U0001F600\">\n");
    QByteArray expected;
    OutputSink gathered;
    QBuffer device;
    device.open(QIODevice::WriteOnly);
    OutputSink streamed(&device);
    for (int i = 0; i < 30000; ++i) {
        for (OutputSink* out : {&gathered, &streamed}) {
            *out << 'c' << "literal" << QLatin1String("latin1", 3) << words;
            out->number(i).html(words).json(words);
            ASSERT_TRUE(out->maybeFlush());
        }
        expected += "cliterallat" + words.toUtf8() + QByteArray::number(i)
                    + "caf\xc3\xa9 &lt;&quot;\xf0\x9f\x98\x80&quot;&gt;\n\"caf\xc3\xa9 <\\\"\xf0\x9f\x98\x80\\\">\\n\"";
    }
    ASSERT_TRUE(streamed.flush());
    EXPECT_EQ(gathered.data(), expected);
    EXPECT_EQ(device.data(), expected);
    gathered << "more";
    EXPECT_EQ(gathered.data(), expected + "more") << "appends go on after the gathered bytes were asked for";
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
