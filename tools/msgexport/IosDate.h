#pragma once

#include <QDateTime>

// Message dates as a reader expects them. The library passes the database's
// seconds to QDateTime as if they counted from 1970, but iOS counts them from
// 2001-01-01 00:00:00 UTC.
class IosDate
{
public:
    // 2001-01-01T00:00:00Z in Unix seconds.
    static constexpr qint64 epochOffset = 978307200;

    // The seconds as the database stores them (since 2001).
    static qint64 storedSeconds(const QDateTime& libraryDate);

    // The real moment, in UTC. Null for a stored 0, which iOS writes for
    // "never" (an unread message's read date).
    static QDateTime realDate(const QDateTime& libraryDate);

    // ISO 8601 in UTC ("2024-05-10T18:02:11Z"), or empty for a null date.
    static QString isoUtc(const QDateTime& date);
    // Local wall-clock time, "2024-05-10 18:02", or empty for a null date.
    static QString localText(const QDateTime& date);
};
