#pragma once

#include <QJsonArray>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

class OutputFolder;
class QIODevice;

// export-record.json: what an export read from the backup and what it
// wrote, each file with its size and SHA-256, so that the output can later
// be tied to the backup it came from (check()).
class ExportRecord
{
public:
    static QString fileName() { return QStringLiteral("export-record.json"); }

    // backupFolder: the backup as the user knows it (links resolved);
    // libraryRoot: the folder laid out like Library that was loaded (the
    // backup itself, or the view of a computer backup).
    ExportRecord(const QString& backupFolder, const QString& libraryRoot);

    QString tool;
    QStringList commandLine;
    QString timeZone;
    QString selection;

    // A file read from the backup, at its path in the loaded folder; hashed
    // now. Missing files are left out; each file is recorded once. May be
    // called from any thread.
    void addRead(const QString& role, const QString& path);
    // The database files, the address book and their WAL files found in the
    // loaded folder.
    void addDatabases();

    // Hashes every file output wrote and writes the record into it.
    bool write(const OutputFolder& output, QString* error) const;

    // Rechecks the export in folder against its record, and the backup's
    // files where the backup is there; each difference is a line on report.
    // Returns the number of differences, or -1 (with *error) when there is
    // no readable record.
    static int check(const QString& folder, QIODevice& report, QString* error);

private:
    const QString backupFolder;
    const QString libraryRoot;
    mutable QMutex lock;
    QJsonArray read;
    QSet<QString> seen;
};
