#include "TypedStreamArchive.h"
#include "readers/AttributedBody.h"

#include <gtest/gtest.h>

namespace {

// The class chain of a real archive, with or without the header that makes
// lengths little-endian, then "+" and what follows it.
QByteArray archive(const QByteArray& afterPlus, bool littleEndian = true)
{
    const QByteArray header = littleEndian ? QByteArray("\x04\x0bstreamtyped\x81\xe8\x03", 16) : QByteArray(16, 'x');
    return header + QByteArray("\x84\x84\x84\x12NSAttributedString\x00\x84\x84\x08NSObject\x00\x85\x92"
                               "\x84\x84\x84\x08NSString\x01\x94\x84\x01+", 54) + afterPlus;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(static_cast<char>(value));
    return out;
}

} // namespace

TEST(AttributedBody, LengthMarkersByteOrderAndBrokenData)
{
    const struct
    {
        QByteArray body;
        QString text;
    } cases[] = {
        {archive(bytes({0x05}) + "hello\x86\x84"), QStringLiteral("hello")},
        {archive(bytes({0x7F}) + QByteArray(130, 'a')), QString(127, QLatin1Char('a'))},
        {archive(bytes({0x81, 0x03, 0x00}) + "abcdef"), QStringLiteral("abc")},          // 16 bits, little-endian
        {archive(bytes({0x81, 0x00, 0x03}) + "abcdef", false), QStringLiteral("abc")},   // big-endian without header
        {archive(bytes({0x81, 0xFF, 0xFF}) + "abc"), QString()},                         // -1
        {archive(bytes({0x82, 4, 0, 0, 0}) + "abcdefgh"), QStringLiteral("abcd")},       // 32 bits
        {archive(bytes({0x82, 0, 0, 0, 4}) + "abcdefgh", false), QStringLiteral("abcd")},
        {archive(bytes({0x82, 0xFF, 0xFF, 0xFF, 0x7F}) + "tail"), QStringLiteral("tail")}, // never past the end
        {archive(bytes({0x00, 0x03}) + "abcdef"), QStringLiteral("abc")},                 // a zero marker is skipped once
        {archive(bytes({0x00, 0x00, 0x03}) + "abc"), QString()},
        {archive(bytes({0x07}) + QByteArray("abc\0def", 7)), QStringLiteral("abc")},       // ends at a zero byte
        {archive("\x06" "Cafe\xCC\x81"), QString::fromUtf8("Caf\xC3\xA9")},                 // NFC
        {archive(bytes({0x82, 0x05})), QString()},
        {QByteArray("0"), QString()}, // the literal of the second message statement
        {QByteArray("\x03" "abcdef"), QStringLiteral("abc")}, // no markers: the first byte is the length
        {QByteArray("\x03" "abcdef+"), QString()},
        {QByteArray("\x02NSString+\x01xNSAttributedString"), QStringLiteral("NS")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textFromAttributedBody(c.body), c.text) << c.body.toHex().constData();
    for (int marker : {0x80, 0x83, 0x91, 0x92, 0xFF})
        EXPECT_TRUE(textFromAttributedBody(archive(bytes({marker}) + "abcdef")).isEmpty()) << marker;
}

TEST(AttributedBody, ArchivesOfShortAndLongTexts)
{
    for (const QString& text : {QString::fromUtf8("Bis später 👋 — 日本語"), QStringLiteral("NSString + NSAttributedString"),
                                QString(200, QLatin1Char('w')), QString(40000, QChar(0x00E9))})
        EXPECT_EQ(textFromAttributedBody(TypedStreamArchive::attributedString(text)), text) << text.size();
}
