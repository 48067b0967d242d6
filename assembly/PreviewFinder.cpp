#include "PreviewFinder.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// Glob match of case-folded text against a case-folded pattern in which only
// '*' is special. Greedy with backtracking to the last star: linear in
// practice, quadratic at worst.
bool globMatch(const QString& text, const QString& pattern)
{
    int t = 0;
    int p = 0;
    int starP = -1;
    int starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern.at(p) == QLatin1Char('*')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && pattern.at(p) == text.at(t)) {
            ++p;
            ++t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

#if defined(Q_OS_UNIX)
// Links count by what they lead to; most entries need no stat call.
bool isRegularFile(DIR* dir, const dirent* entry)
{
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return entry->d_type == DT_REG;
    struct stat info;
    return fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}
#endif

} // namespace

#if defined(Q_OS_UNIX)
QString PreviewFinder::firstMatch(DIR* dir, const QString& pattern)
{
    const QString folded = pattern.toCaseFolded();
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, "." and ".."
        const QString name = QFile::decodeName(entry->d_name);
        if (!globMatch(name.toCaseFolded(), folded))
            continue;
        if (isRegularFile(dir, entry))
            return name;
    }
    return QString();
}
#endif

QString PreviewFinder::firstMatch(const QString& folder, const QString& pattern)
{
#if defined(Q_OS_UNIX)
    // One pass of readdir: the entries come in the folder's own order and
    // most need no stat call, which matters with tens of thousands of
    // attachment folders.
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return QString();
    const QString found = firstMatch(dir, pattern);
    closedir(dir);
    return found;
#else
    const QString folded = pattern.toCaseFolded();
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (globMatch(name.toCaseFolded(), folded))
            return name;
    }
    return QString();
#endif
}

QStringList PreviewFinder::candidates(const QString& folder)
{
    QStringList names;
#if defined(Q_OS_UNIX)
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (isRegularFile(dir, entry))
            names.append(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
#else
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
#endif
    return names;
}

QString PreviewFinder::firstMatch(const QStringList& candidates, const QString& pattern)
{
    const QString folded = pattern.toCaseFolded();
    for (const QString& name : candidates) {
        if (globMatch(name.toCaseFolded(), folded))
            return name;
    }
    return QString();
}
