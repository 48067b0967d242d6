#pragma once

#include "ExportOptions.h"

#include <QFile>

#include <memory>

class BackupInspection;
struct BackupSummary;
class TerminalProgress;
class ViewGuard;

// One run of msgexport: checks the backup folder, loads it through the
// message library, and writes the export.
class ExportApp
{
public:
    enum ExitCode {
        Done = 0,
        BadArguments = 1,
        FolderNotFound = 2,
        NoDatabase = 3,
        DatabaseRefused = 4,
        OutputFailed = 5,
        WrongPassword = 6,
        UnknownKeyBag = 7,
        BackupInProgress = 8,
        PartialBackup = 9,
        CorruptManifest = 10,
        TruncatedFile = 11,
        PasswordNeeded = 12,
        VerifyDifference = 13, // --verify found the output or the backup changed
        AmbiguousDevice = 14, // --device fits the backups of several devices
    };

    explicit ExportApp(const ExportOptions& options);
    ~ExportApp();

    // Returns the process's exit code.
    int run();

private:
    int exportBackup(TerminalProgress& progress);
    // --list: the backups in the backup folders, on standard output.
    int listBackups();
    // --verify: the export against its record.
    int verifyExport();
    // The backup --device means, looked at once.
    int findDevice(BackupSummary* found);
    // Where backups are sought; says which --backup-root is no folder.
    QStringList backupRoots();
    // Finds what the folder is and, for a computer backup, builds its view:
    // *library is the folder to load, *linked the backup the view links to.
    int locate(const BackupInspection& backup, TerminalProgress& progress, QString* library, QString* linked);
    int openView(const BackupInspection& backup, TerminalProgress& progress, QString* library);
    int refused(const QString& databasePath);
    void say(const QString& message);

    ExportOptions options;
    QFile messages; // the real standard error, while the library's is collected
    std::unique_ptr<ViewGuard> viewGuard;
};
