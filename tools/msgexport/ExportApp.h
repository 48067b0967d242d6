#pragma once

#include "ExportOptions.h"

#include <QFile>

class TerminalProgress;

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
    };

    explicit ExportApp(const ExportOptions& options);

    // Returns the process's exit code.
    int run();

private:
    int exportBackup(TerminalProgress& progress);
    int refused(const QString& databasePath);
    void say(const QString& message);

    ExportOptions options;
    QFile messages; // the real standard error, while the library's is collected
};
