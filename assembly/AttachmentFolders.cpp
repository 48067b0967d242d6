#include "AttachmentFolders.h"

#include "PreviewFinder.h"

#include <QFileInfo>

namespace {

// Folders deeper below the backup than this are left to the system: each
// lookup copies a prefix per level, which must not grow with a hostile path.
constexpr int maxLevels = 16;

} // namespace

int AttachmentFolders::levels(const QString& folder) const
{
    int count = 0;
    for (int i = rootSize; i < folder.size() && count <= maxLevels; ++i)
        count += folder.at(i) == QLatin1Char('/') ? 1 : 0;
    return count;
}

AttachmentFolders::AttachmentFolders(const QString& backupFolder)
    : backupFolder(backupFolder)
    , rootSize(backupFolder == QLatin1String("/") ? 0 : backupFolder.size())
{
}

bool AttachmentFolders::knownMissing(const QString& folder) const
{
    if (missing.isEmpty() || levels(folder) > maxLevels)
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
    if (levels(folder) > maxLevels)
        return;
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

bool AttachmentFolders::listing(const QString& folder, QStringList* names)
{
    const auto known = listings.constFind(folder);
    if (known != listings.cend()) {
        *names = known.value();
        return true;
    }
    const uint hash = qHash(folder);
    if (!seenOnce.contains(hash)) {
        seenOnce.insert(hash);
        return false;
    }
    *names = PreviewFinder::candidates(folder);
    listings.insert(folder, *names);
    return true;
}
