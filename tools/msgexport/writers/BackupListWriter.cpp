#include "BackupListWriter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>

namespace {

QString orDash(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("-") : value;
}

QString localTime(const QDateTime& date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("-");
}

QString sizeText(qint64 size)
{
    return size < 0 ? QStringLiteral("-") : QLocale::c().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat);
}

QJsonValue orNull(const QString& value)
{
    return value.isEmpty() ? QJsonValue() : QJsonValue(value);
}

} // namespace

QString BackupListWriter::stateText(const BackupSummary& backup)
{
    switch (backup.state) {
    case BackupSummary::Complete:
        return QStringLiteral("complete");
    case BackupSummary::InProgress:
        return QStringLiteral("in progress");
    case BackupSummary::Damaged:
        break;
    }
    return QStringLiteral("damaged: ") + backup.reason;
}

QString BackupListWriter::brief(const BackupSummary& backup)
{
    return QStringLiteral("%1  %2  %3  %4").arg(backup.udid, orDash(backup.deviceName), localTime(backup.lastBackup),
                                                 QDir::toNativeSeparators(backup.folder));
}

QByteArray BackupListWriter::text(const QVector<BackupSummary>& backups)
{
    QVector<QStringList> rows;
    rows << QStringList{QStringLiteral("UDID"), QStringLiteral("NAME"), QStringLiteral("DEVICE"), QStringLiteral("IOS"),
                        QStringLiteral("LAST BACKUP"), QStringLiteral("ENCRYPTED"), QStringLiteral("SIZE"),
                        QStringLiteral("FOLDER"), QStringLiteral("STATE")};
    for (const BackupSummary& backup : backups) {
        rows << QStringList{backup.udid,
                            orDash(backup.deviceName),
                            orDash(backup.productType),
                            orDash(backup.productVersion),
                            localTime(backup.lastBackup),
                            backup.inspection.kind() == VexoBackup::NoBackup ? QStringLiteral("-")
                                : backup.encrypted                           ? QStringLiteral("yes")
                                                                             : QStringLiteral("no"),
                            sizeText(backup.size),
                            QDir::toNativeSeparators(backup.folder),
                            stateText(backup)};
    }
    QVector<int> widths(rows.first().size(), 0);
    for (const QStringList& row : qAsConst(rows))
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    QString out;
    for (const QStringList& row : qAsConst(rows)) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        out += line + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray BackupListWriter::json(const QStringList& roots, const QVector<BackupSummary>& backups)
{
    QJsonArray list;
    for (const BackupSummary& backup : backups) {
        QJsonObject item;
        item.insert(QStringLiteral("udid"), backup.udid);
        item.insert(QStringLiteral("deviceId"), backup.deviceId);
        item.insert(QStringLiteral("folder"), QDir::toNativeSeparators(backup.folder));
        item.insert(QStringLiteral("deviceName"), orNull(backup.deviceName));
        item.insert(QStringLiteral("productType"), orNull(backup.productType));
        item.insert(QStringLiteral("productVersion"), orNull(backup.productVersion));
        item.insert(QStringLiteral("lastBackup"),
                    backup.lastBackup.isValid()
                        ? QJsonValue(backup.lastBackup.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")))
                        : QJsonValue());
        item.insert(QStringLiteral("encrypted"), backup.encrypted);
        item.insert(QStringLiteral("size"), backup.size < 0 ? QJsonValue() : QJsonValue(double(backup.size)));
        item.insert(QStringLiteral("state"), backup.state == BackupSummary::Complete     ? QStringLiteral("complete")
                                                 : backup.state == BackupSummary::InProgress ? QStringLiteral("inProgress")
                                                                                             : QStringLiteral("damaged"));
        item.insert(QStringLiteral("reason"), backup.state == BackupSummary::Damaged ? orNull(backup.reason) : QJsonValue());
        list.append(item);
    }
    QJsonArray rootList;
    for (const QString& root : roots)
        rootList.append(QDir::toNativeSeparators(root));
    QJsonObject top;
    top.insert(QStringLiteral("roots"), rootList);
    top.insert(QStringLiteral("backups"), list);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}
