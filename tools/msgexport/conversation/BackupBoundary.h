#pragma once

#include <QHash>
#include <QString>

#if !defined(_WIN32)
struct stat;
#endif

// Which files may be copied or linked: only those whose real location, with
// every symbolic link resolved, lies inside the backup folder. The view of a
// computer backup links to the backup's own files, which lie in linkedFolder.
class BackupBoundary
{
public:
    enum class FileState {
        Present, // an existing file inside the backup
        Missing, // nothing there
        Outside, // exists, but resolves to a place outside the backup
    };

    explicit BackupBoundary(const QString& backupFolder, const QString& linkedFolder = QString());
    ~BackupBoundary();

    BackupBoundary(const BackupBoundary&) = delete;
    BackupBoundary& operator=(const BackupBoundary&) = delete;

    // The backup folder with links resolved; empty when it does not exist.
    const QString& root() const { return canonicalRoot; }

    FileState stateOf(const QString& path) const;

    // Whether path, which need not exist yet, would lie in the backup (or be
    // the backup folder itself) once created.
    bool contains(const QString& path) const;

    // The path of an existing file relative to the backup folder, with links
    // resolved (in a view: the link's own place); empty for a file that is
    // not Present.
    QString relativePath(const QString& path) const;

    // The real location of path: existing leading parts resolved, the
    // missing rest appended as written (cleaned of "." and "..").
    static QString resolve(const QString& path);

private:
    static bool isUnder(const QString& canonical, const QString& folder);
    bool isUnderRoot(const QString& canonical) const;
    // QFileInfo::canonicalFilePath of a file's folder, each level of it
    // looked up once. A file's own folder serves it and its preview and
    // rarely another file: it is remembered alone, so that the folders above
    // it, which repeat for every file, stay in the bounded cache.
    QString canonicalFolder(const QString& folder) const;
    QString canonicalParent(const QString& folder) const;
    QString canonicalLevel(const QString& folder) const;
#if !defined(_WIN32)
    // A path below the root, relative to it; empty for any other path.
    QByteArray belowRoot(const QString& path) const;
    // lstat of a path; one below the root is looked up from the root's
    // descriptor, so that the kernel walks only the part below it.
    bool linkStatus(const QString& path, struct stat* status) const;
#endif

    QString canonicalRoot;
    QString canonicalLinked;
    int rootDescriptor = -1;
    mutable QHash<QString, QString> parents; // a bounded cache
    mutable QString lastFolder;
    mutable QString lastCanonical;
};
