// What a backup folder is: laid out like the device's Library, or a computer
// backup (Manifest.db, Manifest.plist, Status.plist and files named by hash;
// before iOS 10 Manifest.mbdb and the files directly in the folder),
// encrypted or not, finished or still being written.
#pragma once

#include <QByteArray>
#include <QString>

class BackupLayout
{
public:
    enum class Kind { None, LibraryFolder, Hashed, Encrypted };
    // Which manifest a computer backup has: Manifest.db, or Manifest.mbdb of iOS 5 to 9.
    enum class Form { Database, Mbdb };

    explicit BackupLayout(const QString& folder);

    Kind kind() const { return folderKind; }
    Form form() const { return manifestForm; }
    QString manifestName() const;
    // The folder's Status.plist names a SnapshotState other than "finished".
    static bool inProgress(const QString& folder);

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

private:
    QString folder;
    QString canonicalFolder;
    Kind folderKind = Kind::None;
    Form manifestForm = Form::Database;
    QByteArray bag;
    quint32 manifestKeyClass = 0;
    QByteArray wrappedManifestKey;
};
