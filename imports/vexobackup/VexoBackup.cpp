#include "VexoBackup.h"

#include "BackupCatalog.h"
#include "BackupInspection.h"
#include "BackupLayout.h"
#include "BackupView.h"
#include "Log.h"
#include "ViewCancel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMap>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <map>
#include <mutex>

namespace {

// The device's folder: <root>/<deviceId> in the root that has one, the one
// with the latest backup when several do, else in the first root. VEXOBACKUP_ROOT overrides the platform's roots; Windows has
// two, for the classic installer and the store app.
QString deviceFolder(const QString& deviceId)
{
    const QStringList roots = BackupCatalog::defaultRoots();
    QString chosen;
    QDateTime chosenDate;
    for (const QString& root : roots) {
        const QString folder = root + QLatin1Char('/') + deviceId;
        if (deviceId.isEmpty() || !QFileInfo(folder).isDir())
            continue;
        if (chosen.isEmpty()) {
            chosen = folder;
            continue;
        }
        // Looked at only when two roots hold the device, which is rare.
        if (!chosenDate.isValid())
            chosenDate = BackupInspection(chosen).lastBackupDate();
        const QDateTime date = BackupInspection(folder).lastBackupDate();
        if (date.isValid() && (!chosenDate.isValid() || date > chosenDate)) {
            chosen = folder;
            chosenDate = date;
        }
    }
    if (chosen.isEmpty())
        chosen = roots.value(0) + QLatin1Char('/') + deviceId;
    return chosen;
}

// The device's view, in the user's cache folder; an identifier that is no
// plain file name is hashed.
QString viewFolder(const QString& deviceId)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]{0,63}$"));
    const QString name = plain.match(deviceId).hasMatch()
        ? deviceId
        : QString::fromLatin1(QCryptographicHash::hash(deviceId.toUtf8(), QCryptographicHash::Sha1).toHex());
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/msgservice/views/")
        + name;
}

const char* reason(VexoBackup::ViewStatus status)
{
    switch (status) {
    case VexoBackup::ViewReady:
        return "ready";
    case VexoBackup::ViewBackupInProgress:
        return "the backup is still being written";
    case VexoBackup::ViewPasswordNeeded:
        return "the backup is encrypted and no password was given";
    case VexoBackup::ViewWrongPassword:
        return "the backup is encrypted and the password is wrong";
    case VexoBackup::ViewUnknownKeyBag:
        return "the backup is encrypted with an unknown keybag version";
    case VexoBackup::ViewCorruptManifest:
        return "its manifest (Manifest.db or Manifest.mbdb) or Manifest.plist cannot be read";
    case VexoBackup::ViewPartialBackup:
        return "the data file of its message database is missing";
    case VexoBackup::ViewTruncatedFile:
        return "an encrypted database file is truncated";
    case VexoBackup::ViewFolderUnusable:
        return "the view folder cannot be made";
    case VexoBackup::ViewCancelled:
        return "it was cancelled";
    }
    return "unknown";
}

// What this process knows: passwords by device, and the outcome of the last
// view of each folder, so that a wrong password is not tried again (its key
// derivation takes seconds) until the backup or the password changes.
struct Remembered
{
    QString stamp;
    QByteArray passwordHash;
    VexoBackup::ViewStatus status = VexoBackup::ViewReady;
};

struct State
{
    std::mutex mutex;
    QMap<QString, QString> passwords; // QMap: std templates of Qt types would be exported
    std::map<QString, Remembered> views;
};

State& state()
{
    static State instance;
    return instance;
}

QByteArray hashOf(const QString& password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256);
}

} // namespace

QString VexoBackup::getDeviceBackupPath(const QString& deviceId)
{
    try {
        const QString folder = deviceFolder(deviceId);
        const BackupLayout layout(folder);
        if (layout.kind() != BackupLayout::Kind::Hashed && layout.kind() != BackupLayout::Kind::Encrypted)
            return QDir::toNativeSeparators(folder);

        const QString view = viewFolder(deviceId);
        State& known = state();
        std::lock_guard<std::mutex> lock(known.mutex);
        Remembered now{BackupView::stampOf(folder), hashOf(known.passwords[deviceId]), ViewReady};
        const auto it = known.views.find(view);
        const bool same = it != known.views.end() && it->second.stamp == now.stamp
            && it->second.passwordHash == now.passwordHash
            && (it->second.status != ViewReady || QFileInfo(view + QStringLiteral("/SMS/sms.db")).isFile());
        if (same) {
            now.status = it->second.status;
        } else {
            now.status = BackupView::build(layout, known.passwords[deviceId], view);
            if (now.status != ViewReady)
                Log("VexoBackup", 1, "no view of backup %s: %s.", folder.toUtf8().constData(), reason(now.status));
            else if (layout.kind() == BackupLayout::Kind::Encrypted)
                BackupView::removeAtExit(view); // decrypted files do not outlive the process
            known.views[view] = now;
        }
        return QDir::toNativeSeparators(view);
    } catch (...) {
        return QString();
    }
}

QString VexoBackup::getDeviceBackupFolder(const QString& deviceId)
{
    try {
        return QDir::toNativeSeparators(deviceFolder(deviceId));
    } catch (...) {
        return QString();
    }
}

bool VexoBackup::isDeviceBackuping(const QString& deviceId)
{
    return isBackupInProgress(deviceFolder(deviceId));
}

bool VexoBackup::isBackupInProgress(const QString& folder)
{
    return isBackupInProgress(BackupInspection(folder));
}

bool VexoBackup::isBackupInProgress(const BackupInspection& inspection)
{
    return inspection.isInProgress();
}

void VexoBackup::cancelBackup(const QString& deviceId)
{
    // Backups are made by another program; nothing runs here that could be stopped.
    Q_UNUSED(deviceId);
}

void VexoBackup::setBackupPassword(const QString& deviceId, const QString& password)
{
    try {
        State& known = state();
        std::lock_guard<std::mutex> lock(known.mutex);
        known.passwords[deviceId] = password;
    } catch (...) {
    }
}

VexoBackup::BackupKind VexoBackup::backupKind(const QString& folder)
{
    return backupKind(BackupInspection(folder));
}

VexoBackup::BackupKind VexoBackup::backupKind(const BackupInspection& inspection)
{
    return inspection.kind();
}

VexoBackup::ViewStatus VexoBackup::makeBackupView(const QString& backupFolder, const QString& password,
                                                  const QString& viewFolder)
{
    return makeBackupView(BackupInspection(backupFolder), password, viewFolder);
}

VexoBackup::ViewStatus VexoBackup::makeBackupView(const BackupInspection& backup, const QString& password,
                                                  const QString& viewFolder)
{
    try {
        if (!backup.layout)
            return ViewCorruptManifest;
        return BackupView::build(*backup.layout, password, viewFolder);
    } catch (...) {
        return ViewFolderUnusable;
    }
}

bool VexoBackup::removeBackupView(const QString& viewFolder)
{
    try {
        return BackupView::remove(viewFolder);
    } catch (...) {
        return false;
    }
}

bool VexoBackup::keepBackupView(const QString& viewFolder)
{
    try {
        return BackupView::keep(viewFolder);
    } catch (...) {
        return false;
    }
}

int VexoBackup::removeAbandonedViews()
{
    try {
        return BackupView::sweep();
    } catch (...) {
        return 0;
    }
}

void VexoBackup::cancelBackupViews()
{
    ViewCancel::request();
}
