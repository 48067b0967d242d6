#include "details/readers/ArchivedBody.h"
#include "details/readers/TypedStreamReader.h"

#include "TypedStreamArchive.h"

#include <gtest/gtest.h>

namespace {

using Run = TypedStreamArchive::Run;

// start+length:flags, as compact as the runs' meaning allows.
QStringList describe(const ArchivedBody& body)
{
    QStringList out;
    for (const MsgTextRun& run : body.runs) {
        QString flags;
        if (run.bold)
            flags += QLatin1Char('b');
        if (run.italic)
            flags += QLatin1Char('i');
        if (run.underline)
            flags += QLatin1Char('u');
        if (run.strikethrough)
            flags += QLatin1Char('s');
        for (const QString& value : {run.effect, run.mention, run.link, run.attachmentGuid}) {
            if (!value.isEmpty())
                flags += QLatin1Char(' ') + value;
        }
        out << QStringLiteral("%1+%2/p%3:%4").arg(run.start).arg(run.length).arg(run.part).arg(flags);
    }
    return out;
}

const char* const styledRuns = R"([{"length": 4, "mention": "+14155550132"}, {"length": 1},
    {"length": 3, "bold": true, "italic": true}, {"length": 1, "part": 1},
    {"length": 4, "underline": true, "strikethrough": true, "link": "https://example.com/a"},
    {"length": 3, "effect": 5}, {"length": 1, "part": 2, "file": "8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60"},
    {"length": 3, "bold": true, "italic": true}])";

// "Maya" "," "map" " " "link" "🎉 " U+FFFC "end": the emoji counts two units.
const QString styledText = QString::fromUtf8("Maya,map link\xF0\x9F\x8E\x89 \xEF\xBF\xBC" "end");

TEST(ArchivedBodyTest, RunsCarryTheirAttributesAtUtf16Offsets)
{
    const QByteArray blob = TypedStreamArchive::styledString(styledText, TypedStreamArchive::runsFromJson(styledRuns));
    ASSERT_TRUE(ArchivedBody::mayBeStyled(blob.constData(), blob.size()));
    ArchivedBody body;
    ASSERT_TRUE(ArchivedBody::parse(blob, &body));
    EXPECT_EQ(body.text, styledText);
    // The last run repeats the third one's attributes: it refers back to the
    // same dictionary instead of writing a new one.
    EXPECT_EQ(describe(body), (QStringList{"0+4/p0: +14155550132", "4+1/p0:", "5+3/p0:bi", "8+1/p1:",
                                           "9+4/p0:us https://example.com/a", "13+3/p0: big",
                                           "16+1/p2: 8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60", "17+3/p0:bi"}));
}

TEST(ArchivedBodyTest, APlainBodyIsOneUnstyledRunAndNotLookedInto)
{
    const QString text = QString::fromUtf8("Grüße 👋");
    const QByteArray blob = TypedStreamArchive::attributedString(text);
    EXPECT_FALSE(ArchivedBody::mayBeStyled(blob.constData(), blob.size()));
    ArchivedBody body;
    ASSERT_TRUE(ArchivedBody::parse(blob, &body));
    EXPECT_EQ(body.text, text);
    EXPECT_EQ(describe(body), QStringList{QStringLiteral("0+8/p0:")});
    EXPECT_FALSE(body.runs.first().isStyled());
}

TEST(ArchivedBodyTest, RunsAreCutAtTheTextsEndAndUnknownEffectsHaveNoName)
{
    const QByteArray blob = TypedStreamArchive::styledString(
        QStringLiteral("abc"), TypedStreamArchive::runsFromJson(R"([{"length": 2, "effect": 99}, {"length": 40}])"));
    ArchivedBody body;
    ASSERT_TRUE(ArchivedBody::parse(blob, &body));
    EXPECT_EQ(describe(body), (QStringList{"0+2/p0:", "2+1/p0:"}));
}

// Cut or damaged anywhere, a body is refused or read within its bytes; the
// sanitizer build checks the "within".
TEST(ArchivedBodyTest, DamagedBodiesAreRefusedWithoutReadingBeyondThem)
{
    const QByteArray blob = TypedStreamArchive::styledString(styledText, TypedStreamArchive::runsFromJson(styledRuns));
    ArchivedBody body;
    for (int size = 0; size < blob.size(); ++size) {
        const QByteArray cut(blob.constData(), size); // a copy of its own, so the sanitizer sees its end
        EXPECT_FALSE(ArchivedBody::parse(cut, &body)) << size;
        EXPECT_TRUE(body.text.isEmpty() && body.runs.isEmpty()) << size;
    }
    for (int at = 0; at < blob.size(); ++at) {
        for (char value : {'\x00', '\x7f', '\x81', '\x82', '\x84', '\x85', '\x86', '\x92', '\xff'}) {
            QByteArray damaged = blob;
            damaged[at] = value;
            if (ArchivedBody::parse(damaged, &body)) {
                int end = 0;
                for (const MsgTextRun& run : body.runs) {
                    ASSERT_EQ(run.start, end) << at;
                    ASSERT_GT(run.length, 0) << at;
                    end += run.length;
                }
                ASSERT_LE(end, body.text.size()) << at;
            }
        }
    }
}

TEST(TypedStreamReaderTest, ReferencesAndBoundsOfTheObjectTable)
{
    TypedStreamReader reader;
    const QByteArray blob = TypedStreamArchive::styledString(QStringLiteral("ab"),
        TypedStreamArchive::runsFromJson(R"([{"length": 1, "bold": true}, {"length": 1, "bold": true}])"));
    ASSERT_TRUE(reader.read(blob));
    // One attributed string, its string, one dictionary of two keys and two numbers.
    ASSERT_EQ(reader.objects().size(), 7u);
    EXPECT_TRUE(reader.isKindOf(reader.root(), "NSAttributedString"));
    EXPECT_TRUE(reader.isKindOf(reader.root(), "NSObject"));
    qint64 value = 0;
    EXPECT_FALSE(reader.number(reader.root(), &value));
    EXPECT_EQ(reader.string(1), QStringLiteral("ab"));

    // A reference to an entry that does not exist yet, and a stream that
    // nests beyond the bound.
    QByteArray forward = blob;
    forward[forward.indexOf("\x84\x84\x84") + 1] = '\x9a';
    EXPECT_FALSE(reader.read(forward));
    QByteArray deep("\x04\x0bstreamtyped\x81\xe8\x03", 16);
    for (int i = 0; i < 200; ++i)
        deep += QByteArray("\x84\x01@\x84\x84\x84\x01X\x00\x85", 10);
    EXPECT_FALSE(reader.read(deep + QByteArray(200, '\x86')));
    EXPECT_FALSE(reader.read(QByteArray(TypedStreamReader::maxInput + 1, '\x04')));
}

} // namespace
