// Damaged databases through the shared library with the real service
// libraries: whatever survives is whole, and nothing crashes. Odd paths and
// bytes that are no UTF-8 are in SqlUtilsTest and bench/tests.
#include "MsgContent.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "TestBackup.h"

#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

TEST(HostileInput, DamagedMessageDatabasesNeverCrashTheLoad)
{
    // Enough rows to span many pages.
    QString sql = TestBackup::schema(QStringLiteral("ios14-sms.sql"))
        + QStringLiteral("begin; insert into handle (ROWID, id, service) values (1, '+15550001', 'SMS');");
    for (int chat = 1; chat <= 20; ++chat)
        sql += QStringLiteral("insert into chat (ROWID, guid, chat_identifier, room_name) values (%1, 'c%1', 'chat%1', 'Room %1');"
                              "insert into chat_handle_join values (%1, 1);").arg(chat);
    for (int message = 1; message <= 600; ++message)
        sql += QStringLiteral("insert into message (ROWID, guid, text, date, attributedBody) values (%1, 'm%1', 'message %1 ' || "
                              "hex(randomblob(40)), %1, archived_body('body %1')); insert into chat_message_join (chat_id, message_id) "
                              "values (%2, %1);").arg(message).arg(message % 20 + 1);
    TestBackup dir;
    ASSERT_TRUE(dir.writeDatabase(QStringLiteral("pristine.db"), sql + QStringLiteral("commit;")));
    QFile source(dir.path(QStringLiteral("pristine.db")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray good = source.readAll();
    ASSERT_GT(good.size(), 64 * 1024);

    QRandomGenerator random(20261205);
    QList<QByteArray> damaged{good.left(good.size() / 2), good.left(100), good.left(4096 + 10)};
    for (int i = 0; i < 12; ++i) {
        QByteArray bytes = good;
        // Scribble over a run of bytes somewhere after the header page.
        const int at = 100 + static_cast<int>(random.bounded(static_cast<quint32>(bytes.size() - 200)));
        for (int j = 0; j < 64 && at + j < bytes.size(); ++j)
            bytes[at + j] = static_cast<char>(random.bounded(256));
        damaged << bytes;
    }
    MsgService service(QStringLiteral("hostile"), false);
    for (int i = 0; i < damaged.size(); ++i) {
        TestBackup backup;
        backup.writeFile(QStringLiteral("SMS/sms.db"), damaged.at(i));
        const bool loaded = service.loadBackup(backup.folder());
        for (unsigned s = 0; s < service.msgSessionCount(); ++s) // whatever survives must be whole
            for (const MsgContent* message : service.msgSession(s)->messages)
                EXPECT_FALSE(message->pieces.isEmpty()) << i;
        EXPECT_TRUE(loaded || service.msgSessionCount() == 0) << i;
    }
}
