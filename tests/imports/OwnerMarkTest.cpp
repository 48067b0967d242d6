// The owner marks of views and snapshot folders: a folder is abandoned only
// when the process named in its mark has ended, even when its id was reused.
#include "imports/OwnerMark.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray field(const QByteArray& mark, const QByteArray& key)
{
    for (const QByteArray& line : mark.split('\n')) {
        if (line.startsWith(key + ' '))
            return line.mid(key.size() + 1);
    }
    return QByteArray();
}

void writeMark(const QString& folder, const QByteArray& mark)
{
    QFile file(QDir(folder).filePath(OwnerMark::fileName()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(mark);
}

} // namespace

TEST(OwnerMark, OnlyFoldersOfEndedOwnersAreAbandoned)
{
    QTemporaryDir folder;
    EXPECT_FALSE(OwnerMark::isAbandoned(folder.path())) << "no mark: not ours to remove";
    ASSERT_TRUE(OwnerMark::write(folder.path()));
    EXPECT_FALSE(OwnerMark::isAbandoned(folder.path())) << "this process is alive";
#if !defined(_WIN32)
    EXPECT_EQ(QFile(QDir(folder.path()).filePath(OwnerMark::fileName())).permissions() & QFileDevice::Permissions(0x0077),
              QFileDevice::Permissions()) << "private";
#endif
    const QByteArray mine = OwnerMark::current();

    // A process that has ended.
    QProcess child;
    child.start(QStringLiteral(EXITING_PROGRAM), QStringList());
    ASSERT_TRUE(child.waitForStarted());
    const qint64 pid = child.processId();
    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished());
    QString owner;
    writeMark(folder.path(), "pid " + QByteArray::number(pid) + "\nstart 1\nboot " + field(mine, "boot") + '\n');
    EXPECT_TRUE(OwnerMark::isAbandoned(folder.path(), &owner));
    EXPECT_EQ(owner, QStringLiteral("process %1").arg(pid));

#if defined(__linux__)
    // This process's id, but another start or another boot: the id was reused.
    writeMark(folder.path(), "pid " + field(mine, "pid") + "\nstart 1\nboot " + field(mine, "boot") + '\n');
    EXPECT_TRUE(OwnerMark::isAbandoned(folder.path()));
    writeMark(folder.path(), "pid " + field(mine, "pid") + "\nstart " + field(mine, "start") + "\nboot other\n");
    EXPECT_TRUE(OwnerMark::isAbandoned(folder.path()));
#endif

    // Kept on purpose, or unreadable: never abandoned.
    ASSERT_TRUE(OwnerMark::keep(folder.path()));
    EXPECT_FALSE(OwnerMark::isAbandoned(folder.path()));
    writeMark(folder.path(), "something else\n");
    EXPECT_FALSE(OwnerMark::isAbandoned(folder.path()));
}
