// What counts as inside the backup: resolved locations, not spellings.
#include "BackupBoundary.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class BackupBoundaryTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString root = QFileInfo(temp.path()).canonicalFilePath();
    QString backup = root + QStringLiteral("/backup");
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/SMS")));
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/elsewhere")));
    }
};

TEST_F(BackupBoundaryTest, FoldersToWriteInAreJudgedWhereTheyWouldReallyBe)
{
    const BackupBoundary boundary(backup);
    EXPECT_TRUE(boundary.contains(backup));
    EXPECT_TRUE(boundary.contains(backup + QStringLiteral("/export/new/deeper")));
    EXPECT_TRUE(boundary.contains(root + QStringLiteral("/elsewhere/../backup/export")));
    EXPECT_FALSE(boundary.contains(backup + QStringLiteral("/../export")));
    // Shares the prefix, but is a sibling.
    EXPECT_FALSE(boundary.contains(backup + QStringLiteral("-export")));
    EXPECT_FALSE(boundary.contains(root + QStringLiteral("/elsewhere/export")));

    // A link outside that leads into the backup.
    ASSERT_TRUE(QFile::link(backup + QStringLiteral("/SMS"), root + QStringLiteral("/elsewhere/into")));
    EXPECT_TRUE(boundary.contains(root + QStringLiteral("/elsewhere/into/export")));
    // And a backup reached through a link is the same backup.
    ASSERT_TRUE(QFile::link(backup, root + QStringLiteral("/alias")));
    EXPECT_TRUE(BackupBoundary(root + QStringLiteral("/alias")).contains(backup + QStringLiteral("/x")));
}

TEST_F(BackupBoundaryTest, FilesAreInsideOnlyWhenTheirTargetIs)
{
    const QString photo = backup + QStringLiteral("/SMS/photo.jpg");
    const QString secret = root + QStringLiteral("/elsewhere/secret.txt");
    writeFile(photo, "jpeg");
    writeFile(secret, "secret");
    ASSERT_TRUE(QFile::link(secret, backup + QStringLiteral("/SMS/out.jpg")));
    ASSERT_TRUE(QFile::link(photo, root + QStringLiteral("/elsewhere/in.jpg")));

    const BackupBoundary boundary(backup);
    using State = BackupBoundary::FileState;
    EXPECT_EQ(boundary.stateOf(photo), State::Present);
    EXPECT_EQ(boundary.relativePath(photo), QStringLiteral("SMS/photo.jpg"));
    EXPECT_EQ(boundary.stateOf(backup + QStringLiteral("/SMS/out.jpg")), State::Outside);
    EXPECT_TRUE(boundary.relativePath(backup + QStringLiteral("/SMS/out.jpg")).isEmpty());
    EXPECT_EQ(boundary.stateOf(backup + QStringLiteral("/SMS/../../elsewhere/secret.txt")), State::Outside);
    // The library's reading of "~/Library/../../../etc/passwd".
    EXPECT_NE(boundary.stateOf(backup + QStringLiteral("/../../../etc/passwd")), State::Present);
    EXPECT_EQ(boundary.stateOf(backup + QStringLiteral("/SMS/none.jpg")), State::Missing);
    EXPECT_EQ(boundary.stateOf(backup + QStringLiteral("/SMS")), State::Missing); // a folder is no file
    // A link from outside to a file inside is judged by its target.
    EXPECT_EQ(boundary.stateOf(root + QStringLiteral("/elsewhere/in.jpg")), State::Present);
    EXPECT_EQ(boundary.stateOf(QString()), State::Missing);
}

} // namespace
