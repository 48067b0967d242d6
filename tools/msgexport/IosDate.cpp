#include "IosDate.h"

qint64 IosDate::storedSeconds(const QDateTime& libraryDate)
{
    return libraryDate.isValid() ? libraryDate.toSecsSinceEpoch() : 0;
}

QDateTime IosDate::realDate(const QDateTime& libraryDate)
{
    const qint64 stored = storedSeconds(libraryDate);
    if (stored == 0)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(stored + epochOffset, Qt::UTC);
}

QString IosDate::isoUtc(const QDateTime& date)
{
    return date.isValid() ? date.toUTC().toString(Qt::ISODate) : QString();
}

QString IosDate::localText(const QDateTime& date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}
