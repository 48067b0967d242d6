#include "BackupCatalog.h"

#include "Log.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <functional>

namespace {

QStringList unique(const QStringList& folders)
{
    QStringList seen;
    QStringList kept;
    for (const QString& folder : folders) {
        const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(folder));
        if (folder.isEmpty() || seen.contains(clean, Qt::CaseInsensitive))
            continue;
        seen << clean;
        kept << clean;
    }
    return kept;
}

qint64 sizeOf(const QString& folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

bool newerFirst(const BackupSummary& a, const BackupSummary& b)
{
    if (a.lastBackup.isValid() != b.lastBackup.isValid())
        return a.lastBackup.isValid();
    if (a.lastBackup != b.lastBackup)
        return a.lastBackup > b.lastBackup;
    return a.folder < b.folder;
}

// Each device's newest backup among those that fit, in the order given.
QVector<BackupSummary> newestOfEach(const QVector<BackupSummary>& backups,
                                    const std::function<bool(const BackupSummary&)>& fits)
{
    QVector<BackupSummary> found;
    QStringList devices;
    for (const BackupSummary& backup : backups) {
        if (!fits(backup) || devices.contains(backup.udid, Qt::CaseInsensitive))
            continue;
        devices << backup.udid;
        found << backup;
    }
    return found;
}

} // namespace

QStringList BackupCatalog::platformRoots()
{
    try {
        const QString overridden = qEnvironmentVariable("VEXOBACKUP_ROOT");
        if (!overridden.isEmpty())
            return {QDir::cleanPath(QDir::fromNativeSeparators(overridden))};
#if defined(Q_OS_WIN)
        QStringList roots;
        const QString appData = qEnvironmentVariable("APPDATA");
        const QString profile = qEnvironmentVariable("USERPROFILE");
        if (!appData.isEmpty())
            roots << QDir::fromNativeSeparators(appData) + QStringLiteral("/Apple Computer/MobileSync/Backup");
        if (!profile.isEmpty())
            roots << QDir::fromNativeSeparators(profile) + QStringLiteral("/Apple/MobileSync/Backup");
        return unique(roots);
#else
        // ~/Library/Application Support on macOS, $XDG_DATA_HOME (~/.local/share) elsewhere.
        return {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                + QStringLiteral("/MobileSync/Backup")};
#endif
    } catch (...) {
        return {};
    }
}

QStringList BackupCatalog::environmentRoots()
{
    try {
        return unique(qEnvironmentVariable("MSGSERVICE_BACKUP_ROOTS").split(QDir::listSeparator(), Qt::SkipEmptyParts));
    } catch (...) {
        return {};
    }
}

QStringList BackupCatalog::defaultRoots()
{
    try {
        return unique(platformRoots() + environmentRoots());
    } catch (...) {
        return {};
    }
}

BackupSummary BackupCatalog::summarize(const QString& folder, bool measure)
{
    BackupSummary summary;
    try {
        summary.folder = QDir::cleanPath(QDir::fromNativeSeparators(folder));
        summary.deviceId = QFileInfo(summary.folder).fileName();
        summary.inspection = BackupInspection(summary.folder);
        const BackupInspection& look = summary.inspection;
        summary.udid = look.uniqueIdentifier().isEmpty() ? summary.deviceId : look.uniqueIdentifier();
        summary.deviceName = look.deviceName();
        summary.productType = look.productType();
        summary.productVersion = look.productVersion();
        summary.lastBackup = look.lastBackupDate();
        summary.encrypted = look.isEncrypted();
        summary.reason = look.damage();
        summary.state = look.isInProgress() ? BackupSummary::InProgress
            : summary.reason.isEmpty()      ? BackupSummary::Complete
                                            : BackupSummary::Damaged;
        if (summary.state == BackupSummary::Damaged)
            Log("VexoBackup", 1, "backup %s: %s.", summary.folder.toUtf8().constData(),
                summary.reason.toUtf8().constData());
        if (measure && look.kind() != VexoBackup::NoBackup)
            summary.size = sizeOf(summary.folder);
    } catch (...) {
        summary.state = BackupSummary::Damaged;
        summary.reason = QStringLiteral("the folder cannot be inspected");
    }
    return summary;
}

QVector<BackupSummary> BackupCatalog::list(const QStringList& roots, bool measure)
{
    QVector<BackupSummary> backups;
    try {
        for (const QString& root : unique(roots)) {
            const QFileInfo info(root);
            if (!info.isDir())
                continue;
            // A root that is a backup itself, as a folder named on the command line may be.
            const BackupSummary itself = summarize(root, false);
            if (itself.inspection.kind() != VexoBackup::NoBackup) {
                backups << (measure ? summarize(root, true) : itself);
                continue;
            }
            const QDir dir(root);
            if (!dir.isReadable()) {
                backups << itself; // says why it cannot be read
                continue;
            }
            const QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
            for (const QFileInfo& entry : entries)
                backups << summarize(entry.filePath(), measure);
        }
        std::stable_sort(backups.begin(), backups.end(), newerFirst);
    } catch (...) {
    }
    return backups;
}

BackupCatalog::Match BackupCatalog::find(const QString& query, const QVector<BackupSummary>& backups,
                                         QVector<BackupSummary>* matches)
{
    try {
        matches->clear();
        if (query.isEmpty())
            return NotFound;
        const auto equal = [&query](const QString& value) {
            return !value.isEmpty() && value.compare(query, Qt::CaseInsensitive) == 0;
        };
        const std::function<bool(const BackupSummary&)> tests[] = {
            [&](const BackupSummary& b) { return equal(b.deviceId) || equal(b.udid); },
            [&](const BackupSummary& b) { return equal(b.deviceName); },
            [&](const BackupSummary& b) {
                return b.deviceId.startsWith(query, Qt::CaseInsensitive) || b.udid.startsWith(query, Qt::CaseInsensitive);
            },
        };
        for (const auto& fits : tests) {
            *matches = newestOfEach(backups, fits);
            if (!matches->isEmpty())
                return matches->size() == 1 ? Found : Ambiguous;
        }
    } catch (...) {
    }
    return NotFound;
}
