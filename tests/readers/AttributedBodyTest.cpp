#include "TypedStreamArchive.h"
#include "readers/AttributedBody.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(static_cast<char>(value));
    return out;
}

const QByteArray header = QByteArray("\x04\x0bstreamtyped\x81\xe8\x03", 16);
const QByteArray classes = QByteArray("\x84\x84\x84\x12NSAttributedString\x00\x84\x84\x08NSObject\x00\x85\x92"
                                      "\x84\x84\x84\x08NSString\x01\x94\x84\x01",
                                      52);

// header (or not), the class chain, "+", then what follows it.
QByteArray archive(const QByteArray& afterPlus, bool withHeader = true)
{
    return (withHeader ? header : QByteArray(16, 'x')) + classes + '+' + afterPlus;
}

} // namespace

TEST(AttributedBody, SingleByteLength)
{
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x05}) + "hello" + "\x86\x84")), QStringLiteral("hello"));
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x7F}) + QByteArray(127, 'a'))), QString(127, QLatin1Char('a')));
}

TEST(AttributedBody, SixteenBitLengthFollowsTheHeadersByteOrder)
{
    const QByteArray text(300, 'z');
    const QByteArray body = bytes({0x81, 0x2C, 0x01}) + text;
    EXPECT_EQ(textFromAttributedBody(archive(body)).size(), 300) << "0x012C little-endian";
    // Without "streamtyped" the same bytes are 0x2C01 = 11265, cut to what remains.
    EXPECT_EQ(textFromAttributedBody(archive(body, false)).size(), 300);
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x81, 0x00, 0x03}) + "abcdef", false)), QStringLiteral("abc"));
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x81, 0x03, 0x00}) + "abcdef")), QStringLiteral("abc"));
    EXPECT_TRUE(textFromAttributedBody(archive(bytes({0x81, 0xFF, 0xFF}) + "abc")).isEmpty()) << "signed: -1";
}

TEST(AttributedBody, ThirtyTwoBitLength)
{
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x82, 4, 0, 0, 0}) + "abcdefgh")), QStringLiteral("abcd"));
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x82, 0, 0, 0, 4}) + "abcdefgh", false)), QStringLiteral("abcd"));
    EXPECT_TRUE(textFromAttributedBody(archive(bytes({0x82, 0, 0, 0, 0x80}) + "abcd")).isEmpty()) << "negative";
    // A huge length is never trusted beyond the data.
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x82, 0xFF, 0xFF, 0xFF, 0x7F}) + "tail")), QStringLiteral("tail"));
}

TEST(AttributedBody, ZeroMarkerIsSkippedOnce)
{
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x00, 0x03}) + "abcdef")), QStringLiteral("abc"));
    EXPECT_TRUE(textFromAttributedBody(archive(bytes({0x00, 0x00, 0x03}) + "abc")).isEmpty());
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x00, 0x81, 0x02, 0x00}) + "abc")), QStringLiteral("ab"));
}

TEST(AttributedBody, MarkersWithoutALengthGiveNothing)
{
    for (int marker : {0x80, 0x83, 0x85, 0x91, 0x92, 0xC0, 0xFF}) {
        SCOPED_TRACE(marker);
        EXPECT_TRUE(textFromAttributedBody(archive(bytes({marker}) + "abcdef")).isEmpty());
    }
}

TEST(AttributedBody, TextEndsAtItsFirstZeroByte)
{
    EXPECT_EQ(textFromAttributedBody(archive(bytes({0x07}) + QByteArray("abc\0def", 7))), QStringLiteral("abc"));
}

TEST(AttributedBody, DecomposedLettersComeBackPrecomposed)
{
    const QByteArray decomposed = "Cafe\xCC\x81"; // e + COMBINING ACUTE ACCENT
    const QString text = textFromAttributedBody(archive(bytes({decomposed.size()}) + decomposed));
    EXPECT_EQ(text, QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(text.size(), 4);
}

TEST(AttributedBody, ForeignOrBrokenDataNeverReadsOutside)
{
    // The one-byte "0" of the second message statement: 0x30 = 48 bytes wanted, none left.
    EXPECT_TRUE(textFromAttributedBody(QByteArray("0")).isEmpty());
    EXPECT_TRUE(textFromAttributedBody(QByteArray()).isEmpty());
    EXPECT_TRUE(textFromAttributedBody(QByteArray(1, '\0')).isEmpty());
    EXPECT_TRUE(textFromAttributedBody(QByteArray("+")).isEmpty());
    // Without the markers the first byte is the length.
    EXPECT_EQ(textFromAttributedBody(QByteArray("\x03" "abcdef")), QStringLiteral("abc"));
    // ... unless the last byte is "+", where reading starts at the end.
    EXPECT_TRUE(textFromAttributedBody(QByteArray("\x03" "abcdef+")).isEmpty());
    // Markers out of order: "NSString" before "NSAttributedString" is not found.
    EXPECT_EQ(textFromAttributedBody(QByteArray("\x02NSString+\x01xNSAttributedString")), QStringLiteral("NS"));
    // A length cut off by the end of the data reads its missing bytes as 0.
    EXPECT_TRUE(textFromAttributedBody(archive(bytes({0x82, 0x05}))).isEmpty());
    EXPECT_TRUE(textFromAttributedBody(archive(bytes({0x81}))).isEmpty());
    EXPECT_TRUE(textFromAttributedBody(archive(QByteArray())).isEmpty());
}

TEST(AttributedBody, RealShapedArchivesOfShortAndLongTexts)
{
    const QString emoji = QString::fromUtf8("Bis später 👋 — 日本語");
    for (const QString& text : {QStringLiteral("ok"), emoji, QString(200, QLatin1Char('w')),
                                QString(40000, QChar(0x00E9)), QString(70000, QLatin1Char('L'))}) {
        SCOPED_TRACE(text.size());
        // The attribute runs and class names after the text are left alone.
        EXPECT_EQ(textFromAttributedBody(TypedStreamArchive::attributedString(text)), text);
    }
    // A body whose text itself names the classes again: the first NSString wins.
    EXPECT_EQ(textFromAttributedBody(TypedStreamArchive::attributedString(QStringLiteral("NSString + NSAttributedString"))),
              QStringLiteral("NSString + NSAttributedString"));
}
