// Local times of an export against Qt's time-zone database, around
// daylight-saving changes of zones with hour, half-hour and no changes.
#include "IosDate.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

TEST(IosDate, LocalTimesAgreeWithTheZoneAcrossItsChanges)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes the local zone from the system; TZ does not name IANA zones there";
#endif
    QTemporaryDir temp;
    const QString backup = temp.path() + QStringLiteral("/backup");
    // Changes of 2023 in New York, Lord Howe (30 minutes) and Kathmandu (none).
    QList<qint64> moments;
    for (const qint64 change : {1678604400LL, 1699164000LL, 1680274800LL, 1696087800LL}) {
        for (const qint64 step : {-3601LL, -1800LL, -1LL, 0LL, 1LL, 1799LL, 3600LL, 86400LL})
            moments << change + step;
    }
    std::sort(moments.begin(), moments.end());
    QString sql = QStringLiteral("INSERT INTO handle (ROWID, id, service) VALUES (1, '+15550001', 'iMessage');"
                                 "INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (1, 'c1', '+15550001');"
                                 "INSERT INTO chat_handle_join VALUES (1, 1);");
    for (const qint64 moment : moments)
        sql += QStringLiteral("INSERT INTO message (guid, text, handle_id, is_read, date) VALUES ('%1', 'm', 1, 1, %1);")
                   .arg((moment - IosDate::epochOffset) * 1000000000);
    makeBackup(backup, sql + QStringLiteral("INSERT INTO chat_message_join SELECT 1, ROWID, date FROM message;"));
    for (const char* zone : {"America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu"}) {
        const ExportRun run = runMsgExport({backup, QStringLiteral("--format"), QStringLiteral("text")},
                                           {QStringLiteral("TZ=") + QLatin1String(zone)});
        QStringList expected;
        for (const qint64 moment : moments)
            expected << QDateTime::fromSecsSinceEpoch(moment, QTimeZone(zone)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        EXPECT_EQ(captures(run.out, QStringLiteral("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d)  ")), expected) << zone << run.err.toStdString();
    }
}
