#include "AttachmentFolders.h"

#include "PreviewFinder.h"

#include <QFileInfo>

AttachmentFolders::AttachmentFolders(const QString& backupFolder)
    : backupFolder(backupFolder)
    , rootSize(backupFolder == QLatin1String("/") ? 0 : backupFolder.size())
{
}

bool AttachmentFolders::knownMissing(const QString& folder) const
{
    if (missing.isEmpty())
        return false;
    for (int at = folder.indexOf(QLatin1Char('/'), rootSize + 1);; at = folder.indexOf(QLatin1Char('/'), at + 1)) {
        if (missing.contains(at < 0 ? folder : folder.left(at)))
            return true;
        if (at < 0)
            return false;
    }
}

void AttachmentFolders::markMissing(const QString& folder)
{
    // The walk stops at the first parent that exists: below a missing folder
    // nothing can exist, whatever links or rights lie above it.
    QString highest = folder;
    for (;;) {
        const int slash = highest.lastIndexOf(QLatin1Char('/'));
        if (slash <= rootSize || QFileInfo::exists(highest.left(slash)))
            break;
        highest.truncate(slash);
    }
    missing.insert(highest);
}

QString AttachmentFolders::backupFolderMatch(const QString& pattern)
{
    if (!listed) {
        rootFiles = PreviewFinder::candidates(backupFolder);
        listed = true;
    }
    return PreviewFinder::firstMatch(rootFiles, pattern);
}
