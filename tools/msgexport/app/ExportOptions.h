#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// What the command line asks for.
struct ExportOptions
{
    enum class Outcome {
        Run,     // export as the fields say
        Help,    // text holds the help
        Version, // text holds the version line
        Error,   // text holds what was wrong
    };

    QString backupFolder; // set unless deviceId is, or list
    QString deviceId;     // a device identifier, a prefix of one, or a device's name
    bool list = false;    // list the backups instead of exporting one
    QString verifyFolder; // check this export against its record instead
    QStringList backupRoots; // more folders to look for backups in
    QString format = QStringLiteral("text");
    QString outputFolder; // empty: standard output
    QString passwordFile; // the password of an encrypted backup, on its first line
    QString keepView;     // where to build the view of a computer backup, kept after the run
    bool copyAttachments = false;
    bool convertMedia = true; // in html and json exports to a folder, where the build can
    QStringList conversations; // names, addresses or numbers; empty: all
    QDate since;               // inclusive, in timeZone; null: no bound
    QDate until;
    QString timeZone;          // an IANA name; empty: the system's
    bool excel = false;        // csv for a spreadsheet program
    QString pageSize;          // pdf: "a4" or "letter"; empty: the locale's
    bool skipDeleted = false; // leave out what is in Recently Deleted
    bool quiet = false;
    bool verbose = false;

    // Parses arguments (the program name first) into options.
    static Outcome parse(const QStringList& arguments, ExportOptions* options, QString* text);
};
