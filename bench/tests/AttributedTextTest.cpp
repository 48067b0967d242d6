// The load's decoded message bodies against Qt's own NFC: the decoder skips
// normalization for texts it knows NFC leaves alone, and must never skip it
// where NFC would change something.
#include "FixtureDatabase.h"
#include "MsgContent.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString character(uint code)
{
    return QString::fromUcs4(&code, 1);
}

// Texts at the edges of the ranges the decoder trusts, characters just
// outside them, and combinations that NFC composes or reorders.
QStringList texts()
{
    QStringList list;
    const uint edges[] = {0x02FF, 0x0300, 0x0301, 0x200C, 0x200D, 0x200E, 0x200F, 0x2010, 0x2027, 0x2028, 0x20AB, 0x20AC,
                          0x20AD, 0x212B, 0x2126, 0x25FF, 0x2600, 0x27BF, 0x27C0, 0xFE0E, 0xFE0F, 0xFFFB, 0xFFFC, 0xFFFD,
                          0x1F2FF, 0x1F300, 0x1FAFF, 0x1FB00, 0x1D15E, 0x0958, 0x0F73, 0x1161, 0x11A8};
    for (const uint code : edges) {
        list.append(character(code));
        list.append(QStringLiteral("a") + character(code) + QStringLiteral("b"));
        list.append(character(code) + character(0x0301) + character(0x0323)); // marks to reorder after it
    }
    list.append(QStringLiteral("caf") + character('e') + character(0x0301));
    list.append(character(0x1100) + character(0x1161) + character(0x11A8)); // jamo that compose to a syllable
    list.append(character(0xAC00) + character(0x11A8));
    list.append(QStringLiteral("A") + character(0x030A) + character(0x1F600) + character(0xFE0F));
    list.append(character(0x2764) + character(0xFE0F) + character(0x200D) + character(0x1F525));
    list.append(character(0x201C) + QStringLiteral("quoted") + character(0x201D) + character(0x2026) + character(0x20AC));
    // Pairs across all trusted ranges: the decoder's shortcut relies on
    // no two of their characters composing.
    const uint trusted[][2] = {{0x00C0, 0x02FF}, {0x2010, 0x2027}, {0x2600, 0x27BF}, {0x1F300, 0x1FAFF}};
    quint32 state = 12345;
    for (int i = 0; i < 400; ++i) {
        QString text;
        for (int j = 0; j < 4; ++j) {
            state = state * 1103515245u + 12345u;
            const uint* range = trusted[(state >> 8) % 4];
            text += character(range[0] + (state >> 12) % (range[1] - range[0] + 1));
        }
        list.append(text);
    }
    // The same with characters that NFC changes, reorders or composes at
    // random places: the decoder normalizes only from before the first one.
    const uint changing[] = {0x0300, 0x0301, 0x0308, 0x0323, 0x0345, 0x1100, 0x1161, 0x11A8, 0xAC00, 0x304B, 0x3099,
                             0x0958, 0x212B, 0x2126, 0x0F73, 0x1D15E, 0x1F1E6};
    for (int i = 0; i < 600; ++i) {
        QString text;
        for (int j = 0; j < 6; ++j) {
            state = state * 1103515245u + 12345u;
            if ((state >> 20) % 3 == 0) {
                text += character(changing[(state >> 8) % (sizeof(changing) / sizeof(changing[0]))]);
            } else {
                const uint* range = trusted[(state >> 8) % 4];
                text += character(range[0] + (state >> 12) % (range[1] - range[0] + 1));
            }
        }
        list.append(text);
    }
    return list;
}

// Loads one conversation whose messages hold the given UTF-8 bytes as their
// text and, archived, as their body; message n holds texts[n - 1].
void loadTexts(MsgService& service, const QList<QByteArray>& texts)
{
    QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"));
    sql += QStringLiteral("insert into chat (ROWID, guid, chat_identifier) values (1, 'c', '+15550100');\n");
    for (int i = 0; i < texts.size(); ++i) {
        const QString hex = QString::fromLatin1(texts.at(i).toHex());
        sql += QStringLiteral("insert into message (ROWID, guid, text, attributedBody, date) values "
                              "(%1, 'm%1', cast(X'%2' as text), archived_body(cast(X'%2' as text)), %1);\n"
                              "insert into chat_message_join (chat_id, message_id) values (1, %1);\n")
                   .arg(i + 1)
                   .arg(hex);
    }
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/SMS")));
    QString error;
    ASSERT_TRUE(FixtureDatabase::create(dir.path() + QStringLiteral("/SMS/sms.db"), sql, FixtureDatabase::Journal::Rollback, &error))
        << qPrintable(error);
    ASSERT_TRUE(service.loadBackup(dir.path()));
    ASSERT_EQ(service.msgSessionCount(), 1u);
    ASSERT_EQ(service.msgSession(0)->messages.size(), texts.size());
}

} // namespace

TEST(AttributedText, IsTheNfcOfTheArchivedTextForEveryKindOfCharacter)
{
    const QStringList bodies = texts();
    QList<QByteArray> utf8;
    for (const QString& body : bodies)
        utf8.append(body.toUtf8());
    MsgService service(QStringLiteral("test"), false);
    ASSERT_NO_FATAL_FAILURE(loadTexts(service, utf8));
    for (const MsgContent* message : service.msgSession(0)->messages) {
        const QString& text = bodies.at(static_cast<int>(message->id) - 1);
        EXPECT_EQ(message->attributedText, text.normalized(QString::NormalizationForm_C))
            << "message " << message->id << ": " << qPrintable(QString::fromLatin1(text.toUtf8().toHex()));
    }
}

// The plain text beside the body is read without a second decode when its
// bytes spell the body exactly; whatever else it holds must still come out
// as QString::fromUtf8 makes it, down to the text piece's bytes.
TEST(PlainText, IsWhatFromUtf8MakesOfTheStoredBytesWhateverTheBody)
{
    const QList<QByteArray> raws = {
        "plain ascii", "caf\xc3\xa9", "\xf0\x9f\x98\x80 smile", "\xe2\x80\x9cquoted\xe2\x80\x9d",
        "\xef\xbb\xbf" "after a byte-order mark", "overlong \xc0\xaf", "lone \x80 continuation", "cut \xe2\x82",
        "surrogate \xed\xa0\x80", "nonchar \xef\xbf\xbe", "nonchar \xef\xb7\x90", "beyond \xf4\x90\x80\x80",
        "five \xf8\x88\x80\x80\x80", "decomposed e\xcc\x81", QByteArray("nul \0 inside", 13), "x",
    };
    MsgService service(QStringLiteral("test"), false);
    ASSERT_NO_FATAL_FAILURE(loadTexts(service, raws));
    for (const MsgContent* message : service.msgSession(0)->messages) {
        const QByteArray& raw = raws.at(static_cast<int>(message->id) - 1);
        ASSERT_EQ(message->pieces.size(), 1) << raw.toHex().constData();
        EXPECT_EQ(message->pieces.first()->data, QString::fromUtf8(raw.constData(), raw.size()).toUtf8())
            << raw.toHex().constData();
    }
}
