// What a backup folder is: laid out like the device's Library, or a computer
// backup (Manifest.db, Manifest.plist, Status.plist and files named by hash;
// before iOS 10 Manifest.mbdb and the files directly in the folder),
// encrypted or not, finished or still being written. Its property lists are
// read once, here, and the layout is handed on to whatever needs them.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class BackupLayout
{
public:
    enum class Kind { None, LibraryFolder, Hashed, Encrypted };
    // Which manifest a computer backup has: Manifest.db, or Manifest.mbdb of iOS 5 to 9.
    enum class Form { Database, Mbdb };

    explicit BackupLayout(const QString& folder);

    Kind kind() const { return folderKind; }
    QString folderPath() const { return folder; }
    // Status.plist names a SnapshotState other than "finished".
    bool inProgress() const { return running; }
    // Why the folder cannot serve as a backup, or what is wrong with one:
    // empty when nothing is.
    QString damage() const { return problem; }

    // Info.plist, or failing that the Lockdown record of Manifest.plist.
    QString deviceName() const { return name; }
    QString productType() const { return product; }
    QString productVersion() const { return version; }
    QString uniqueIdentifier() const { return udid; }
    // Info.plist's "Last Backup Date", else Status.plist's "Date".
    QDateTime lastBackupDate() const { return lastBackup; }
    Form form() const { return manifestForm; }
    QString manifestName() const;

    // Manifest.plist of an encrypted backup: the keybag, and the key of
    // Manifest.db (a 4-byte little-endian protection class, then the wrapped key).
    QByteArray keyBag() const { return bag; }
    quint32 manifestClass() const { return manifestKeyClass; }
    QByteArray manifestKey() const { return wrappedManifestKey; }

    QString path(const QString& relative) const;
    // The data file of a hashed backup's entry.
    QString hashedFile(const QString& fileID) const;
    // The folder with links resolved, for telling whether a file lies inside it.
    QString realFolder() const { return canonicalFolder; }

    // Property-list files read by layouts in this process, so that a caller
    // can tell that a backup was looked at once.
    static quint64 propertyListsRead();

    // The largest Info.plist read; its apps' icons make it big, but not this big.
    static constexpr qint64 infoLimit = qint64(8) << 20;

private:
    void readComputerBackup();

    QString folder;
    QString canonicalFolder;
    Kind folderKind = Kind::None;
    bool running = false;
    QString problem;
    QString name;
    QString product;
    QString version;
    QString udid;
    QDateTime lastBackup;
    Form manifestForm = Form::Database;
    QByteArray bag;
    quint32 manifestKeyClass = 0;
    QByteArray wrappedManifestKey;
};
