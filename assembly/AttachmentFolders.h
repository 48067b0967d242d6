// What one assembly learns of a backup's attachment folders while it resolves
// attachments: the folders found missing, so that no attachment below them is
// looked for on disk again, and the backup folder's own files, where the
// preview of an attachment whose folder is missing is looked for.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class AttachmentFolders
{
public:
    // backupFolder: clean and absolute, as the direct attachment lookup takes it.
    explicit AttachmentFolders(const QString& backupFolder);

    // True when folder (a clean path below the backup folder) or one of its
    // parents below the backup folder has been marked missing.
    bool knownMissing(const QString& folder) const;
    // folder did not open because it does not exist: the highest of it and
    // its parents below the backup folder that does not exist is remembered.
    void markMissing(const QString& folder);

    // PreviewFinder::firstMatch over the backup folder, listed on first use.
    QString backupFolderMatch(const QString& pattern);

    // PreviewFinder::candidates of folder (an existing folder below the backup
    // folder), listed the second time it is asked for and kept: false the
    // first time, when the caller scans the folder itself. Most folders hold
    // one attachment and are never kept; one shared by thousands is listed
    // once instead of once per attachment.
    bool listing(const QString& folder, QStringList* names);

private:
    // How many '/' the part of folder below the backup folder holds, counted
    // up to one past the deepest level remembered.
    int levels(const QString& folder) const;

    QString backupFolder;
    int rootSize; // what a path below the backup folder starts with, before its '/'
    QSet<QString> missing;
    QStringList rootFiles;
    bool listed = false;
    QSet<uint> seenOnce; // hashes of folders asked for once; a collision only lists early
    QHash<QString, QStringList> listings;
};
