#include "ComputerBackup.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

bool ComputerBackup::write(const QString& source, const QString& target) const
{
    QString error;
    const bool written = ComputerBackupWriter::write(source, target, &error);
    EXPECT_TRUE(written) << error.toStdString();
    return written;
}

QString ComputerBackup::listing(const QString& folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        QByteArray hash;
        if (info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QDir(folder).relativeFilePath(info.filePath()), QString::number(info.size()),
                          QString::number(info.lastModified().toMSecsSinceEpoch()),
                          QString::number(static_cast<int>(info.permissions()), 16), QString::fromLatin1(hash));
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

QString ComputerBackup::contents(const QString& folder, const QStringList& paths)
{
    QStringList lines;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
        for (const QString& path : paths)
            content.replace(path.toUtf8(), "@BACKUP@");
        lines << QDir(folder).relativeFilePath(file.fileName()) + QLatin1Char(' ')
                + QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

