#pragma once

#include <QDateTime>
#include <QTimeZone>

class OutputSink;

// Message dates as a reader expects them. The library passes the database's
// seconds to QDateTime as if they counted from 1970, but iOS counts them from
// 2001-01-01 00:00:00 UTC.
//
// Qt converts between local and UTC time through mktime and localtime, which
// read the zone's file again on every call; a large export spends most of its
// time there. Dates of 1970 to 2037 are converted here with the C library's
// localtime once per day met (days of a daylight-saving change, and every
// other date, still go through Qt).
class IosDate
{
public:
    // 2001-01-01T00:00:00Z in Unix seconds.
    static constexpr qint64 epochOffset = 978307200;

    // The seconds as the database stores them (since 2001).
    static qint64 storedSeconds(const QDateTime& libraryDate);

    // The real moment, in UTC. Null for a stored 0, which iOS writes for
    // "never" (an unread message's read date).
    static QDateTime realDate(const QDateTime& libraryDate) { return fromStored(storedSeconds(libraryDate)); }
    static QDateTime fromStored(qint64 storedSeconds);

    // ISO 8601 in UTC ("2024-05-10T18:02:11Z"), or empty for a null date.
    static QString isoUtc(const QDateTime& date);
    static void appendIsoUtc(OutputSink& out, const QDateTime& date);

    // The zone local times are shown in (by default the system's). Set
    // before an export starts, never while it runs.
    static void setTimeZone(const QTimeZone& zone);
    static QTimeZone timeZone();
    // date in the shown zone.
    static QDateTime shown(const QDateTime& date);

    // Local wall-clock time, "2024-05-10 18:02" (or "18:02" with
    // timeOnly), nothing for a null date; returns the characters written.
    static int appendLocal(OutputSink& out, const QDateTime& date, bool timeOnly = false);
    static QString localText(const QDateTime& date);
    // The local day of date.
    static QDate localDay(const QDateTime& date);

private:
    // The local time of a UTC moment, in seconds since 1970 as if it were UTC;
    // false where Qt must convert it.
    static bool toLocal(qint64 utcSeconds, qint64* localSeconds);
};
