// The computer-backup writer of tools/fixture, failing the test when it
// cannot write, and listings that show whether a folder was written to.
#pragma once

#include "ComputerBackupWriter.h"

#include <QStringList>

struct ComputerBackup : ComputerBackupWriter
{
    bool write(const QString& source, const QString& target) const;

    // Every entry below folder: relative path, size, time, permissions and a
    // hash of each file that is no link. Equal listings mean nothing was written.
    static QString listing(const QString& folder);
    // Every file below folder, links followed: its relative path and a hash of
    // its content in which each of paths reads "@BACKUP@".
    static QString contents(const QString& folder, const QStringList& paths = {});
    // The data of the message database, the usual victim of bad-input tests.
    static QString smsDataPath() { return dataPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")); }
};
