// The computer backups a person has: every folder below the places where
// backups are kept, each summed up from one look at it, and the one meant by
// a device identifier, a prefix of one, or a device's name.
#pragma once

#include "BackupInspection.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

struct BackupSummary
{
    enum State { Complete, InProgress, Damaged };

    QString folder;     // the backup's folder, '/'-separated
    QString deviceId;   // the folder's name: what the backup service loads it by
    QString udid;       // Info.plist's identifier of the device, else deviceId
    QString deviceName;
    QString productType;
    QString productVersion;
    QDateTime lastBackup; // invalid when the backup names none
    bool encrypted = false;
    qint64 size = -1; // bytes of every file below the folder; -1 when not measured
    State state = Damaged;
    QString reason; // what is wrong with a damaged one
    BackupInspection inspection; // the look the summary came from, to hand on
};

class VEXOBACKUP_API BackupCatalog
{
public:
    enum Match { Found, NotFound, Ambiguous };

    // Where the platform keeps backups: VEXOBACKUP_ROOT when set; else on
    // Windows %APPDATA%\Apple Computer\MobileSync\Backup (classic installer)
    // and %USERPROFILE%\Apple\MobileSync\Backup (store app); elsewhere
    // MobileSync/Backup in the user's data folder ($XDG_DATA_HOME).
    static QStringList platformRoots();
    // The folders of MSGSERVICE_BACKUP_ROOTS, separated by ':' (';' on Windows).
    static QStringList environmentRoots();
    // Both of the above, each once.
    static QStringList defaultRoots();

    // Every folder directly below each root (or a root that is a backup
    // itself), newest backup first; unreadable and damaged ones too, with
    // their reason. Roots that do not exist give nothing. With measure,
    // each backup's size is summed up.
    static QVector<BackupSummary> list(const QStringList& roots, bool measure = true);
    static BackupSummary summarize(const QString& folder, bool measure = true);

    // The backup meant by query, from backups as list() orders them: a
    // device identifier (the folder's name or Info.plist's), else a device
    // name, else a prefix of an identifier, compared case-insensitively. A
    // device with several backups is its newest one. Ambiguous when the
    // query fits several devices; *matches gets each device's newest backup.
    static Match find(const QString& query, const QVector<BackupSummary>& backups, QVector<BackupSummary>* matches);
};
