// What one assembly learns of a backup's attachment folders while it resolves
// attachments: the folders found missing, so that no attachment below them is
// looked for on disk again, and the backup folder's own files, where the
// preview of an attachment whose folder is missing is looked for.
#pragma once

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

private:
    // How many '/' the part of folder below the backup folder holds, counted
    // up to one past the deepest level remembered.
    int levels(const QString& folder) const;

    QString backupFolder;
    int rootSize; // what a path below the backup folder starts with, before its '/'
    QSet<QString> missing;
    QStringList rootFiles;
    bool listed = false;
};
