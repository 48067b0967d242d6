#include "VexoBackup.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// The folder under which computer backups of devices are kept, one folder per
// device identifier. VEXOBACKUP_ROOT overrides the platform's convention.
QString backupRoot()
{
    QString overridden = qEnvironmentVariable("VEXOBACKUP_ROOT");
    if (!overridden.isEmpty())
        return overridden;
#if defined(Q_OS_WIN)
    return qEnvironmentVariable("APPDATA") + QStringLiteral("/Apple Computer/MobileSync/Backup");
#else
    // ~/Library/Application Support on macOS, $XDG_DATA_HOME (~/.local/share) elsewhere.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/MobileSync/Backup");
#endif
}

} // namespace

QString VexoBackup::getDeviceBackupPath(const QString& deviceId)
{
    return QDir::toNativeSeparators(backupRoot() + QLatin1Char('/') + deviceId);
}

bool VexoBackup::isDeviceBackuping(const QString& deviceId)
{
    // A backup in progress keeps a Status.plist whose SnapshotState is not yet
    // "finished". Both plist encodings store these names as plain ASCII, so a
    // byte search serves for XML and binary alike.
    QFile status(getDeviceBackupPath(deviceId) + QStringLiteral("/Status.plist"));
    if (status.size() > qint64(1) << 20 || !status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = status.readAll();
    return content.contains("SnapshotState") && !content.contains("finished");
}

void VexoBackup::cancelBackup(const QString& deviceId)
{
    // Backups are made by another program; nothing runs here that could be stopped.
    Q_UNUSED(deviceId);
}
