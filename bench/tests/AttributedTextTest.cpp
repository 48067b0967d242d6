// The load's texts against what Qt itself makes of the stored bytes: the
// decoder skips normalization for texts it knows NFC leaves alone, and the
// reader reuses the body's buffer for a plain text that spells it exactly.
#include "FixtureDatabase.h"
#include "MsgContent.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString character(uint code)
{
    return QString::fromUcs4(&code, 1);
}

// Characters at the edges of the ranges the decoder trusts and just outside
// them, then random mixes of trusted characters and ones NFC changes.
QList<QByteArray> texts()
{
    QList<QByteArray> list;
    for (const uint code : {0x02FF, 0x0300, 0x200C, 0x200D, 0x200E, 0x2010, 0x2027, 0x2028, 0x20AB, 0x20AC, 0x212B, 0x2126,
                            0x25FF, 0x2600, 0x27BF, 0x27C0, 0x2ADC, 0x2FFF, 0xFE0F, 0xFFFB, 0xFFFC, 0x1F2FF, 0x1F300, 0x1FAFF, 0x1FB00, 0x1D15E}) {
        list << character(code).toUtf8() << (QStringLiteral("a") + character(code) + character(0x0301) + character(0x0323)).toUtf8();
    }
    const uint trusted[][2] = {{0x00C0, 0x02FF}, {0x2010, 0x2027}, {0x2600, 0x27BF}, {0x1F300, 0x1FAFF}};
    const uint changing[] = {0x0301, 0x0308, 0x0323, 0x0345, 0x1100, 0x1161, 0x11A8, 0xAC00, 0x3099, 0x0958, 0x212B, 0x1F1E6};
    quint32 state = 12345;
    for (int i = 0; i < 800; ++i) {
        QString text;
        for (int j = 0; j < 6; ++j) {
            state = state * 1103515245u + 12345u;
            const uint* range = trusted[(state >> 8) % 4];
            text += i >= 300 && (state >> 20) % 3 == 0 ? character(changing[(state >> 8) % 12])
                                                       : character(range[0] + (state >> 12) % (range[1] - range[0] + 1));
        }
        list << text.toUtf8();
    }
    // Bytes that are no valid UTF-8 must come out as QString::fromUtf8 makes them.
    list << "caf\xc3\xa9" << "overlong \xc0\xaf" << "lone \x80" << "cut \xe2\x82" << "surrogate \xed\xa0\x80"
         << "nonchar \xef\xbf\xbe" << "beyond \xf4\x90\x80\x80" << QByteArray("nul \0 inside", 13) << "x";
    return list;
}

} // namespace

TEST(LoadedTexts, AreTheNfcOfTheArchivedTextAndTheStoredBytesAsQtDecodesThem)
{
    const QList<QByteArray> raws = texts();
    QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"))
        + QStringLiteral("begin; insert into chat (ROWID, guid, chat_identifier) values (1, 'c', '+15550100');\n");
    for (int i = 0; i < raws.size(); ++i)
        sql += QStringLiteral("insert into message (ROWID, guid, text, attributedBody, date) values (%1, 'm%1', cast(X'%2' as text), "
                              "archived_body(cast(X'%2' as text)), %1); insert into chat_message_join values (1, %1, 0);\n")
                   .arg(i + 1).arg(QString::fromLatin1(raws.at(i).toHex()));
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("SMS"))));
    ASSERT_TRUE(FixtureDatabase::create(dir.filePath(QStringLiteral("SMS/sms.db")), sql + QStringLiteral("commit;")));
    MsgService service(QStringLiteral("test"), false);
    ASSERT_TRUE(service.loadBackup(dir.path()));
    ASSERT_EQ(service.msgSession(0)->messages.size(), raws.size());
    for (const MsgContent* message : service.msgSession(0)->messages) {
        const QByteArray& raw = raws.at(static_cast<int>(message->id) - 1);
        const QString text = QString::fromUtf8(raw.constData(), raw.size());
        const QString archived = QString::fromUtf8(text.toUtf8().constData()); // up to a zero byte
        EXPECT_EQ(message->attributedText, archived.normalized(QString::NormalizationForm_C)) << raw.toHex().constData();
        if (!text.contains(QChar(0xFFFC))) { // a placeholder would cut the text into pieces
            EXPECT_EQ(message->pieces.value(0) ? message->pieces.value(0)->data : "no piece", text.toUtf8()) << raw.toHex().constData();
        }
    }
}
