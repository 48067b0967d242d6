// Turns a folder laid out like the device's Library into a computer backup as
// the computer makes it: Manifest.db with its Files rows and archived
// records, data files named by hash, Info.plist, Manifest.plist and
// Status.plist; with a password, an encrypted one. Written with libcrypto
// and libplist directly, apart from the library's reader.
#pragma once

#include <QString>
#include <QStringList>

struct ComputerBackup
{
    QString password;        // empty: not encrypted
    quint32 keyBagVersion = 4;
    QString snapshotState = QStringLiteral("finished");
    int passwordIterations = 1; // DPIC: few, so that tests stay quick
    int iterations = 3;         // ITER

    // Writes the backup of the Library-like folder source into target; false
    // (with a test failure) when something cannot be written.
    bool write(const QString& source, const QString& target) const;

    // Where the data of a file lies below the backup folder.
    static QString dataPath(const QString& domain, const QString& relativePath);
    // Every entry below folder: relative path, size, time, permissions and a
    // hash of each file that is no link. Equal listings mean nothing was written.
    static QString listing(const QString& folder);
    // Every file below folder, links followed: its relative path and a hash of
    // its content in which each of paths reads "@BACKUP@".
    static QString contents(const QString& folder, const QStringList& paths = {});
    // The data of the message database, the usual victim of bad-input tests.
    static QString smsDataPath() { return dataPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")); }
};
