#include "IosDate.h"

#include "OutputSink.h"

#include <QMutex>
#include <QTimeZone>

#include <ctime>
#include <limits>
#include <unordered_map>

namespace {

constexpr qint64 daySeconds = 86400;
constexpr qint64 julianDayOf1970 = 2440588;
// Where the C library's time_t and Qt's own conversions surely agree.
constexpr qint64 firstFast = 2 * daySeconds;
constexpr qint64 lastFast = 0x7FFFFFFF - 2 * daySeconds;

// The zone dates are shown in; invalid for the system's.
QTimeZone& shownZone()
{
    static QTimeZone zone;
    return zone;
}

bool utcOffset(qint64 utcSeconds, int* offset)
{
    static const bool zoneRead = [] {
#if defined(_WIN32)
        ::_tzset();
#else
        ::tzset();
#endif
        return true;
    }();
    static_cast<void>(zoneRead);
    const std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm fields{};
#if defined(_WIN32)
    if (::localtime_s(&fields, &t) != 0)
        return false;
    *offset = static_cast<int>(::_mkgmtime(&fields) - t);
#else
    if (!::localtime_r(&t, &fields))
        return false;
    *offset = static_cast<int>(fields.tm_gmtoff);
#endif
    return true;
}

// The UTC offset that holds for a whole day (local or UTC, the window is wide
// enough for both), or none when the offset changes around it. The library's
// dates are in the system's zone; the shown ones may be in another.
class DayOffsets
{
public:
    explicit DayOffsets(bool shown)
        : shown(shown)
    {
    }

    // A PDF export writes on several threads at once.
    bool find(qint64 day, int* offset)
    {
        const QMutexLocker lock(&mutex);
        if (day == lastDay) { // a conversation's dates come in order
            *offset = lastOffset;
            return lastOffset != unsteady;
        }
        auto known = days.find(day);
        if (known == days.end()) {
            if (days.size() > 100000) // a bound, whatever the dates
                days.clear();
            int first = 0, middle = 0, last = 0;
            // Zones lie within 14 hours of UTC: the window covers every
            // moment that could be this day, wherever it is read.
            const qint64 start = day * daySeconds - 15 * 3600;
            const qint64 end = (day + 1) * daySeconds + 15 * 3600;
            const bool steady = offsetAt(start, &first) && offsetAt((start + end) / 2, &middle)
                && offsetAt(end, &last) && first == middle && middle == last;
            known = days.emplace(day, steady ? first : unsteady).first;
        }
        lastDay = day;
        lastOffset = *offset = known->second;
        return known->second != unsteady;
    }

    void clear()
    {
        const QMutexLocker lock(&mutex);
        days.clear();
        lastDay = std::numeric_limits<qint64>::min();
    }

private:
    bool offsetAt(qint64 utcSeconds, int* offset) const
    {
        if (!shown || !shownZone().isValid())
            return utcOffset(utcSeconds, offset);
        *offset = shownZone().offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC));
        return true;
    }

    static constexpr int unsteady = 1 << 30;
    QMutex mutex;
    bool shown;
    std::unordered_map<qint64, int> days;
    qint64 lastDay = std::numeric_limits<qint64>::min();
    int lastOffset = 0;
};

// Two caches, one for each side of an export: conversations are built (the
// library's dates read) on one thread while the one before is written (local
// dates shown) on another. Not one per thread: on MinGW-w64 a thread_local
// object with a destructor brings the process down when its thread ends.
DayOffsets& readingOffsets()
{
    static DayOffsets instance(false);
    return instance;
}

DayOffsets& writingOffsets()
{
    static DayOffsets instance(true);
    return instance;
}

qint64 floorDiv(qint64 a, qint64 b) { return a / b - (a % b < 0 ? 1 : 0); }

void twoDigits(char* out, int value)
{
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
}

// "yyyy-MM-dd" of a day since 1970 (years 1970 to 2038 only).
void civilDate(qint64 day, char* out)
{
    const QDate date = QDate::fromJulianDay(day + julianDayOf1970);
    const int year = date.year();
    twoDigits(out, year / 100);
    twoDigits(out + 2, year % 100);
    out[4] = '-';
    twoDigits(out + 5, date.month());
    out[7] = '-';
    twoDigits(out + 8, date.day());
}

// "yyyy-MM-dd?HH:mm" of seconds since 1970, '?' being separator.
void dateAndTime(qint64 seconds, char separator, char* out)
{
    civilDate(floorDiv(seconds, daySeconds), out);
    const int time = static_cast<int>(seconds % daySeconds);
    out[10] = separator;
    twoDigits(out + 11, time / 3600);
    out[13] = ':';
    twoDigits(out + 14, time / 60 % 60);
}

} // namespace

void IosDate::setTimeZone(const QTimeZone& zone)
{
    shownZone() = zone;
    writingOffsets().clear();
}

QTimeZone IosDate::timeZone()
{
    return shownZone().isValid() ? shownZone() : QTimeZone::systemTimeZone();
}

QDateTime IosDate::shown(const QDateTime& date)
{
    return shownZone().isValid() ? date.toTimeZone(shownZone()) : date.toLocalTime();
}

qint64 IosDate::storedSeconds(const QDateTime& libraryDate)
{
    if (!libraryDate.isValid())
        return 0;
    if (libraryDate.timeSpec() == Qt::LocalTime) {
        // Its local fields are stored as they are; only the offset is needed.
        const qint64 localMs = (libraryDate.date().toJulianDay() - julianDayOf1970) * daySeconds * 1000
            + libraryDate.time().msecsSinceStartOfDay();
        const qint64 local = floorDiv(localMs, 1000);
        int offset = 0;
        const bool inRange = local >= firstFast && local <= lastFast;
        if (inRange && localMs % 1000 == 0 && readingOffsets().find(floorDiv(local, daySeconds), &offset))
            return local - offset;
        // Qt's own rules near 1970; the same date (a read date of 0, often) comes again.
        static qint64 lastLocalMs = 0, lastSeconds = 0;
        static bool remembered = false;
        if (!inRange && remembered && localMs == lastLocalMs)
            return lastSeconds;
        lastSeconds = libraryDate.toSecsSinceEpoch();
        lastLocalMs = localMs;
        remembered = !inRange;
        return lastSeconds;
    }
    return libraryDate.toSecsSinceEpoch();
}

QDateTime IosDate::fromStored(qint64 storedSeconds)
{
    if (storedSeconds == 0)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(storedSeconds + epochOffset, Qt::UTC);
}

QString IosDate::isoUtc(const QDateTime& date)
{
    OutputSink out;
    appendIsoUtc(out, date);
    return QString::fromUtf8(out.data());
}

void IosDate::appendIsoUtc(OutputSink& out, const QDateTime& date)
{
    if (!date.isValid())
        return;
    const qint64 seconds = date.toSecsSinceEpoch();
    if (seconds < firstFast || seconds > lastFast) {
        out << date.toUTC().toString(Qt::ISODate);
        return;
    }
    char text[20];
    dateAndTime(seconds, 'T', text);
    text[16] = ':';
    twoDigits(text + 17, static_cast<int>(seconds % 60));
    out << QLatin1String(text, 19) << 'Z';
}

bool IosDate::toLocal(qint64 utcSeconds, qint64* localSeconds)
{
    int offset = 0;
    if (utcSeconds < firstFast || utcSeconds > lastFast || !writingOffsets().find(floorDiv(utcSeconds, daySeconds), &offset))
        return false;
    *localSeconds = utcSeconds + offset;
    return true;
}

int IosDate::appendLocal(OutputSink& out, const QDateTime& date, bool timeOnly)
{
    if (!date.isValid())
        return 0;
    qint64 local = 0;
    if (!toLocal(date.toSecsSinceEpoch(), &local)) {
        const QString text = shown(date).toString(timeOnly ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm"));
        out << text;
        return text.size();
    }
    char text[16];
    dateAndTime(local, ' ', text);
    if (timeOnly) {
        out << QLatin1String(text + 11, 5);
        return 5;
    }
    out << QLatin1String(text, 16);
    return 16;
}

QString IosDate::localText(const QDateTime& date)
{
    OutputSink out;
    appendLocal(out, date);
    return QString::fromUtf8(out.data());
}

QDate IosDate::localDay(const QDateTime& date)
{
    if (!date.isValid())
        return QDate();
    qint64 local = 0;
    if (!toLocal(date.toSecsSinceEpoch(), &local))
        return shown(date).date();
    return QDate::fromJulianDay(floorDiv(local, daySeconds) + julianDayOf1970);
}
