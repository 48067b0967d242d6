// One look at a backup folder: what it is, the device it holds, whether it is
// still being written and what is wrong with it, from its Info.plist,
// Manifest.plist and Status.plist read once. Cheap to copy; hand it on
// rather than looking again.
#pragma once

#include "VexoBackup.h"

#include <QDateTime>
#include <QString>

#include <memory>

class BackupLayout;

class VEXOBACKUP_API BackupInspection
{
public:
    BackupInspection(); // of no folder
    explicit BackupInspection(const QString& folder);

    QString folder() const;
    VexoBackup::BackupKind kind() const;
    bool isComputerBackup() const;
    bool isEncrypted() const;
    // Status.plist names a snapshot state other than "finished".
    bool isInProgress() const;
    // Why the folder is no usable backup (unreadable, no backup, files
    // missing or unreadable); empty when nothing is wrong.
    QString damage() const;

    QString deviceName() const;
    QString productType() const;    // "iPhone14,2"
    QString productVersion() const; // the iOS version
    QString uniqueIdentifier() const;
    QDateTime lastBackupDate() const; // invalid when no property list holds one

    // Property-list files read by inspections in this process.
    static quint64 propertyListsRead();

private:
    friend class VexoBackup;
    std::shared_ptr<const BackupLayout> layout;
};
