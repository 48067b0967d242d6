// A folder laid out like the device's Library, made from a computer backup:
// SMS/sms.db, AddressBook/AddressBook.sqlitedb (each with its "-wal") and the
// attachment files below SMS/Attachments/. Links to the backup's data files
// for a plain backup, decrypted copies for an encrypted one.
#pragma once

#include "VexoBackup.h"

#include <QString>

class BackupLayout;
class KeyBag;
struct ManifestEntry;

class BackupView
{
public:
    // Stamp of the backup's manifest and Manifest.plist: changes whenever the backup does.
    static QString stampOf(const QString& backupFolder);
    // Whether viewFolder is a plain view made from a backup with this stamp.
    static bool isCurrent(const QString& viewFolder, const QString& stamp);

    // From the layout as it was inspected: its property lists are not read again.
    static VexoBackup::ViewStatus build(const BackupLayout& layout, const QString& password,
                                        const QString& viewFolder);

    // Empties viewFolder, or makes it (mode 0700); false when it holds files
    // of its own.
    static bool prepare(const QString& viewFolder);
    static bool remove(const QString& viewFolder);

    // Removes the folder when the process ends.
    static void removeAtExit(const QString& viewFolder);

    // Where views of devices and of hosts' runs are made: in the user's cache folder.
    static QString viewsRoot();
    // Marks a view as kept: never swept.
    static bool keep(const QString& viewFolder);
    // Removes the views below viewsRoot() and the snapshot folders in the
    // temporary folder whose owner has ended; the number removed.
    static int sweep();

private:
    enum class Placed { Done, Skipped, Missing, Truncated, Unreadable, WriteFailed };

    static VexoBackup::ViewStatus fill(const BackupLayout& layout, const QString& password,
                                       const QString& viewFolder);
    static Placed place(const BackupLayout& layout, const KeyBag* keys, const ManifestEntry& entry,
                        const QString& target);
};
