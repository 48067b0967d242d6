#include "BackupBoundary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

BackupBoundary::BackupBoundary(const QString& backupFolder, const QString& linkedFolder)
    : canonicalRoot(QFileInfo(backupFolder).canonicalFilePath())
    , canonicalLinked(linkedFolder.isEmpty() ? QString() : QFileInfo(linkedFolder).canonicalFilePath())
{
#if !defined(_WIN32)
    if (!canonicalRoot.isEmpty())
        rootDescriptor = ::open(QFile::encodeName(canonicalRoot).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

BackupBoundary::~BackupBoundary()
{
#if !defined(_WIN32)
    if (rootDescriptor >= 0)
        ::close(rootDescriptor);
#endif
}

#if !defined(_WIN32)
QByteArray BackupBoundary::belowRoot(const QString& path) const
{
    const int prefix = canonicalRoot.size() + 1;
    if (rootDescriptor < 0 || path.size() <= prefix || path.at(prefix - 1) != QLatin1Char('/')
        || path.at(prefix) == QLatin1Char('/') || !path.startsWith(canonicalRoot))
        return QByteArray();
    return QFile::encodeName(path.mid(prefix));
}

bool BackupBoundary::linkStatus(const QString& path, struct stat* status) const
{
    const QByteArray below = belowRoot(path);
    if (!below.isEmpty())
        return ::fstatat(rootDescriptor, below.constData(), status, AT_SYMLINK_NOFOLLOW) == 0;
    return ::lstat(QFile::encodeName(path).constData(), status) == 0;
}
#endif

BackupBoundary::FileState BackupBoundary::stateOf(const QString& path) const
{
#if !defined(_WIN32)
    // Without links, the real location is the real folder plus the name: one
    // lstat instead of a readlink per level of the path.
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringRef name = path.midRef(slash + 1);
    const QString folder = slash > 0 && !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
                               ? canonicalFolder(path.left(slash))
                               : QString();
    struct stat status;
    if (!folder.isEmpty()) {
        if (!linkStatus(path, &status))
            return FileState::Missing;
        if (S_ISREG(status.st_mode))
            return isUnderRoot(folder + QLatin1Char('/') + name) ? FileState::Present : FileState::Outside;
        if (!S_ISLNK(status.st_mode))
            return FileState::Missing;
    }
#endif
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile())
        return FileState::Missing;
    return isUnderRoot(info.canonicalFilePath()) ? FileState::Present : FileState::Outside;
}

QString BackupBoundary::canonicalFolder(const QString& folder) const
{
    if (folder != lastFolder) {
        lastCanonical = canonicalLevel(folder);
        lastFolder = folder;
    }
    return lastCanonical;
}

QString BackupBoundary::canonicalParent(const QString& folder) const
{
    const auto known = parents.constFind(folder);
    if (known != parents.constEnd())
        return *known;
    const QString canonical = canonicalLevel(folder);
    // Room for every folder above the files of a device: 256 times 16.
    if (parents.size() > 16384)
        parents.clear();
    parents.insert(folder, canonical);
    return canonical;
}

QString BackupBoundary::canonicalLevel(const QString& folder) const
{
#if !defined(_WIN32)
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    const QStringRef name = folder.midRef(slash + 1);
    struct stat status;
    if (slash > 0 && !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && linkStatus(folder, &status) && S_ISDIR(status.st_mode)) {
        const QString parent = canonicalParent(folder.left(slash));
        return parent.isEmpty() ? QString() : parent + QLatin1Char('/') + name;
    }
#endif
    return QFileInfo(folder).canonicalFilePath();
}

bool BackupBoundary::contains(const QString& path) const
{
    const QString real = resolve(path);
    return isUnderRoot(real) || (!canonicalRoot.isEmpty() && real == canonicalRoot)
        || (!canonicalLinked.isEmpty() && real == canonicalLinked);
}

QString BackupBoundary::relativePath(const QString& path) const
{
    if (stateOf(path) != FileState::Present)
        return QString();
    const QFileInfo info(path);
    if (!canonicalLinked.isEmpty()) {
        // A view's folders are its own; only its files link into the backup.
        const QString place = QFileInfo(info.absolutePath()).canonicalFilePath() + QLatin1Char('/') + info.fileName();
        return isUnder(place, canonicalRoot) ? QDir(canonicalRoot).relativeFilePath(place) : QString();
    }
    return QDir(canonicalRoot).relativeFilePath(info.canonicalFilePath());
}

QString BackupBoundary::resolve(const QString& path)
{
    // Walk down from the root while the parts exist, resolving each one, so
    // that a link or ".." anywhere in the existing part is followed the way
    // the file system would follow it.
    const QString absolute = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
#if defined(_WIN32)
    // The walk starts at the path's drive ("C:/") or share ("//host/share/").
    static const QRegularExpression rootPattern(QStringLiteral("^([A-Za-z]:/?|//[^/]+/[^/]+/?)"));
    QString root = rootPattern.match(absolute).captured(0);
    if (root.isEmpty())
        root = QStringLiteral("/");
#else
    const QString root = QStringLiteral("/");
#endif
    const QStringList parts = absolute.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = QFileInfo(root).canonicalFilePath();
    if (current.isEmpty())
        current = root;
    int i = 0;
    for (; i < parts.size(); ++i) {
        const QString separator = current.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
        const QString next = QFileInfo(current + separator + parts.at(i)).canonicalFilePath();
        if (next.isEmpty())
            break;
        current = next;
    }
    if (i == parts.size())
        return current;
    const QString rest = parts.mid(i).join(QLatin1Char('/'));
    return QDir::cleanPath(current + QLatin1Char('/') + rest);
}

bool BackupBoundary::isUnder(const QString& canonical, const QString& folder)
{
    if (folder.isEmpty() || canonical.isEmpty())
        return false;
    // A sibling such as "/backup-old" shares the prefix but is outside.
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return canonical.startsWith(prefix);
}

bool BackupBoundary::isUnderRoot(const QString& canonical) const
{
    return isUnder(canonical, canonicalRoot) || isUnder(canonical, canonicalLinked);
}
