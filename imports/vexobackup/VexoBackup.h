// The device-backup service: where a device's local backup lies, whether a
// backup of it is being made, and a folder laid out like the device's Library
// for a computer backup (files named by hash, encrypted or not).
#pragma once

#include "ImportsExport.h"

#include <QString>

class BackupInspection;

#if defined(VEXOBACKUP_BUILDING)
#  define VEXOBACKUP_API MSGIMPORTS_DLL_EXPORT
#else
#  define VEXOBACKUP_API MSGIMPORTS_DLL_IMPORT
#endif

class VEXOBACKUP_API VexoBackup
{
public:
    enum BackupKind {
        NoBackup,        // neither of the two below
        LibraryFolder,   // laid out like the device's Library: SMS/sms.db
        HashedBackup,    // a computer backup: Manifest.db or Manifest.mbdb and files named by hash
        EncryptedBackup, // the same, encrypted with the backup password
    };

    enum ViewStatus {
        ViewReady,
        ViewBackupInProgress, // Status.plist: the backup is still being written
        ViewPasswordNeeded,   // encrypted, and no password given
        ViewWrongPassword,
        ViewUnknownKeyBag,    // a keybag version this library does not know
        ViewCorruptManifest,  // Manifest.db, Manifest.mbdb or Manifest.plist cannot be read
        ViewPartialBackup,    // the message database's data file is missing
        ViewTruncatedFile,    // an encrypted database file is cut short
        ViewFolderUnusable,   // the view folder cannot be made, or holds other files
        ViewCancelled,        // cancelBackupViews was called; the view holds nothing
    };

    // The folder to load for a device: <backup root>/<deviceId> when it is
    // laid out like Library, else the folder of its view (see the README for
    // the root on each platform). Without a view (an encrypted backup with
    // no password, say) the folder holds no message database.
    static QString getDeviceBackupPath(const QString& deviceId);
    // <backup root>/<deviceId> as it lies, whatever its layout.
    static QString getDeviceBackupFolder(const QString& deviceId);
    // True while the device's backup folder holds an unfinished backup.
    static bool isDeviceBackuping(const QString& deviceId);
    // Stops a running backup of the device.
    static void cancelBackup(const QString& deviceId);
    // The password of the device's encrypted backup, kept for this process.
    static void setBackupPassword(const QString& deviceId, const QString& password);

    static BackupKind backupKind(const QString& folder);
    // The folder's Status.plist says that the backup is still being written.
    static bool isBackupInProgress(const QString& folder);
    // The same from a look taken already (see BackupInspection): a run that
    // asks several questions of one backup reads its property lists once.
    static BackupKind backupKind(const BackupInspection& inspection);
    static bool isBackupInProgress(const BackupInspection& inspection);
    // Builds in viewFolder a folder laid out like Library from the computer
    // backup in backupFolder: links to its files, or for an encrypted backup
    // the decrypted files. viewFolder must be empty, missing or an earlier
    // view; a view that matches the backup is reused. Nothing is written
    // into backupFolder. The caller removes the view when done with it.
    static ViewStatus makeBackupView(const QString& backupFolder, const QString& password,
                                     const QString& viewFolder);
    // The same for the backup inspected, as it was then.
    static ViewStatus makeBackupView(const BackupInspection& backup, const QString& password,
                                     const QString& viewFolder);
    // Removes a folder made by makeBackupView; other folders are left alone.
    static bool removeBackupView(const QString& viewFolder);

    // A view is marked with the process that made it, and is removed by a
    // later process once that one has ended (killed before it could remove
    // it). keepBackupView marks a view that is to stay instead.
    static bool keepBackupView(const QString& viewFolder);
    // Removes the views in the cache folder, and the database snapshots in
    // the temporary folder, of processes that have ended; makeBackupView
    // does it too. Returns the number of folders removed.
    static int removeAbandonedViews();
    // Makes the view being built, and every one asked for later in this
    // process, stop and return ViewCancelled, its decrypted files removed.
    // Safe from any thread, and from a signal handler.
    static void cancelBackupViews();
};
