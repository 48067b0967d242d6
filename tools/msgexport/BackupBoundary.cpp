#include "BackupBoundary.h"

#include <QDir>
#include <QFileInfo>

BackupBoundary::BackupBoundary(const QString& backupFolder)
    : canonicalRoot(QFileInfo(backupFolder).canonicalFilePath())
{
}

BackupBoundary::FileState BackupBoundary::stateOf(const QString& path) const
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile())
        return FileState::Missing;
    return isUnderRoot(info.canonicalFilePath()) ? FileState::Present : FileState::Outside;
}

bool BackupBoundary::contains(const QString& path) const
{
    const QString real = resolve(path);
    return isUnderRoot(real) || (!canonicalRoot.isEmpty() && real == canonicalRoot);
}

QString BackupBoundary::relativePath(const QString& path) const
{
    if (stateOf(path) != FileState::Present)
        return QString();
    return QDir(canonicalRoot).relativeFilePath(QFileInfo(path).canonicalFilePath());
}

QString BackupBoundary::resolve(const QString& path)
{
    // Walk down from the root while the parts exist, resolving each one, so
    // that a link or ".." anywhere in the existing part is followed the way
    // the file system would follow it.
    const QString absolute = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = QFileInfo(QStringLiteral("/")).canonicalFilePath();
    int i = 0;
    for (; i < parts.size(); ++i) {
        const QString next = QFileInfo(current + QLatin1Char('/') + parts.at(i)).canonicalFilePath();
        if (next.isEmpty())
            break;
        current = next;
    }
    if (i == parts.size())
        return current;
    const QString rest = parts.mid(i).join(QLatin1Char('/'));
    return QDir::cleanPath(current + QLatin1Char('/') + rest);
}

bool BackupBoundary::isUnderRoot(const QString& canonical) const
{
    if (canonicalRoot.isEmpty() || canonical.isEmpty())
        return false;
    // A sibling such as "/backup-old" shares the prefix but is outside.
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot : canonicalRoot + QLatin1Char('/');
    return canonical.startsWith(prefix);
}
