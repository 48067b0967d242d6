// Helpers shared by the msgexport suites: running the program, building
// backups from SQL text, reading pages.
#pragma once

#include "ComputerBackup.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct ExportRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs msgexport with TZ=UTC (so local times are reproducible) and extra
// environment entries.
ExportRun runMsgExport(const QStringList& arguments, const QStringList& environment = {});

// The sample backup built with the project, links resolved.
QString sampleBackup();

// Creates folder/SMS/sms.db from the iOS 14 table shapes and the given SQL;
// walOnly leaves every row in its "-wal" file, as a device often does.
void makeBackup(const QString& folder, const QString& sql, bool walOnly = false);

QString readFile(const QString& path);
// The first capture of every match of pattern in text.
QStringList captures(const QString& text, const QString& pattern);
// Every href and src value of a page, in order.
QStringList pageLinks(const QString& html);
void writeFile(const QString& path, const QByteArray& content);

// Whether QFile::link makes symbolic links. On Windows it makes shortcuts,
// which paths do not follow, and Wine makes no symbolic links at all.
#if defined(_WIN32)
constexpr bool symbolicLinks = false;
#else
constexpr bool symbolicLinks = true;
#endif

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
