#pragma once

#include <QString>
#include <QStringList>

#if defined(Q_OS_UNIX)
#include <dirent.h>
#endif

// Finds the preview image that older backups keep beside an attachment
// ("IMG_0001-preview-left.jpg" beside "IMG_0001.jpeg").
class PreviewFinder
{
public:
    // The first name, in the order the folder lists them, of a regular,
    // non-hidden file in folder that matches pattern as a whole, letter case
    // ignored; '*' matches any run of characters and nothing else is special.
    // Empty when none matches.
    static QString firstMatch(const QString& folder, const QString& pattern);

    // The names firstMatch can return from folder, in the order it lists
    // them, for many scans of a folder that does not change meanwhile.
    static QStringList candidates(const QString& folder);
    // firstMatch over such a list.
    static QString firstMatch(const QStringList& candidates, const QString& pattern);

#if defined(Q_OS_UNIX)
    // The same scan over a folder that the caller has opened (and closes):
    // the attachment resolution opens it anyway to look for the file itself.
    static QString firstMatch(DIR* folder, const QString& pattern);
#endif
};
