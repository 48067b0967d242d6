// Synthetic backup folders for the load benchmark: "SMS/sms.db" and
// "AddressBook/AddressBook.sqlitedb" in the iOS table shapes, and the
// attachment files below "SMS/Attachments". The same plan always yields the
// same rows and files.
#pragma once

#include <QString>
#include <QtGlobal>

// The shape of a backup. Default: mixed texts and chats, most attachment
// files present. Short: short texts, every one archived, many one-to-one
// chats, attachment rows whose files are absent, no address book. Media: a
// few large group chats, a third of the messages with an attachment, every
// file and preview present, an address book whose rows are in its WAL.
enum class BackupProfile { Default, Short, Media };

QString profileName(BackupProfile profile);
bool parseProfile(const QString& name, BackupProfile* profile);

struct BackupPlan
{
    qint64 messages = 10000;
    quint64 seed = 20240601;
    BackupProfile profile = BackupProfile::Default;
};

// What a generated backup holds, and what a load of it must yield.
struct BackupManifest
{
    qint64 messages = 0;          // message rows, each joined to one chat row
    qint64 chatRows = 0;
    qint64 chatIdentifiers = 0;
    qint64 sharedIdentifiers = 0; // identifiers carried by two chat rows
    qint64 handles = 0;
    qint64 attachments = 0;       // attachment rows, each joined to one message
    qint64 attachmentsOnDisk = 0;
    qint64 previews = 0;
    qint64 contacts = 0;          // abperson rows
    qint64 sessions = 0;          // identifiers with at least one message
    qint64 participants = 0;      // summed over those sessions
    qint64 namedParticipants = 0; // of which the address book names

    bool save(const QString& path) const;
    bool load(const QString& path);
    bool operator==(const BackupManifest& other) const;
};

// Writes a new backup into folder, which must not exist yet.
bool generateBackup(const QString& folder, const BackupPlan& plan, BackupManifest* manifest, QString* error);

// The folder of the backup for plan under cacheDir, generated unless a
// complete one of this generator's version is there already.
QString ensureBackup(const QString& cacheDir, const BackupPlan& plan, BackupManifest* manifest, QString* error);
