// What counts as inside the backup: resolved locations, not spellings.
#include "BackupBoundary.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BackupBoundary, FoldersAndFilesAreJudgedWhereTheyReallyAre)
{
    QTemporaryDir temp;
    const QString root = QFileInfo(temp.path()).canonicalFilePath();
    const QString backup = root + QStringLiteral("/backup");
    writeFile(backup + QStringLiteral("/SMS/photo.jpg"), "jpeg");
    writeFile(root + QStringLiteral("/elsewhere/secret.txt"), "secret");
    if (symbolicLinks) {
        ASSERT_TRUE(QFile::link(backup + QStringLiteral("/SMS"), root + QStringLiteral("/elsewhere/into")));
        ASSERT_TRUE(QFile::link(backup, root + QStringLiteral("/alias")));
        ASSERT_TRUE(QFile::link(root + QStringLiteral("/elsewhere/secret.txt"), backup + QStringLiteral("/SMS/out.jpg")));
    }
    const BackupBoundary boundary(backup);
    for (const auto& [folder, inside] : {std::make_pair("/backup", true), std::make_pair("/backup/export/new/deeper", true),
                                         std::make_pair("/elsewhere/../backup/export", true), std::make_pair("/backup/../export", false),
                                         std::make_pair("/backup-export", false), std::make_pair("/elsewhere/export", false),
                                         std::make_pair("/elsewhere/into/export", symbolicLinks)})
        EXPECT_EQ(boundary.contains(root + QLatin1String(folder)), inside) << folder;
    EXPECT_EQ(BackupBoundary(root + QStringLiteral("/alias")).contains(backup + QStringLiteral("/x")), symbolicLinks) << "a backup reached through a link";

    using State = BackupBoundary::FileState;
    for (const auto& [file, state] : {std::make_pair("/backup/SMS/photo.jpg", State::Present), std::make_pair("/backup/SMS/out.jpg", symbolicLinks ? State::Outside : State::Missing),
                                      std::make_pair("/backup/SMS/../../elsewhere/secret.txt", State::Outside),
                                      std::make_pair("/backup/SMS/none.jpg", State::Missing), std::make_pair("/backup/SMS", State::Missing),
                                      std::make_pair("/alias/SMS/photo.jpg", symbolicLinks ? State::Present : State::Missing)})
        EXPECT_EQ(boundary.stateOf(root + QLatin1String(file)), state) << file;
    EXPECT_EQ(boundary.stateOf(QString()), State::Missing);
    EXPECT_NE(boundary.stateOf(backup + QStringLiteral("/../../../etc/passwd")), State::Present);
    EXPECT_EQ(boundary.relativePath(backup + QStringLiteral("/SMS/photo.jpg")), QStringLiteral("SMS/photo.jpg"));
    EXPECT_TRUE(boundary.relativePath(backup + QStringLiteral("/SMS/out.jpg")).isEmpty());
}

TEST(BackupBoundary, FilesBelowTheBackupAreJudgedByTheirWholePaths)
{
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links need rights Windows does not give by default";
#endif
    QTemporaryDir temp;
    const QString root = QFileInfo(temp.path()).canonicalFilePath();
    const QString backup = root + QStringLiteral("/backup");
    writeFile(backup + QStringLiteral("/SMS/Attachments/a1/00/A/IMG_1.jpg"), "jpeg");
    writeFile(backup + QStringLiteral("/SMS/Attachments/a1/00/A/IMG_1-preview.jpg"), "jpeg");
    writeFile(backup + QStringLiteral("/SMS/Attachments/b2/01/B/IMG_2.jpg"), "jpeg");
    writeFile(root + QStringLiteral("/elsewhere/C/IMG_1.jpg"), "secret");
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/elsewhere/C"), backup + QStringLiteral("/SMS/Attachments/a1/00/C")));
    const BackupBoundary boundary(backup);
    const QString attachments = backup + QStringLiteral("/SMS/Attachments/");
    using State = BackupBoundary::FileState;
    // A name met in one folder says nothing about the next folder, and a
    // folder that is a link leads out of the backup.
    for (const auto& [file, state] : {std::make_pair("a1/00/A/IMG_1.jpg", State::Present), std::make_pair("a1/00/A/IMG_1-preview.jpg", State::Present),
                                      std::make_pair("b2/01/B/IMG_1.jpg", State::Missing), std::make_pair("b2/01/B/IMG_2.jpg", State::Present),
                                      std::make_pair("a1/00/C/IMG_1.jpg", State::Outside), std::make_pair("a1/00/A/IMG_1.jpg", State::Present),
                                      std::make_pair("a1/00/D/IMG_1.jpg", State::Missing), std::make_pair("a1/00/A/../B/IMG_2.jpg", State::Missing),
                                      std::make_pair("b2/01/B/../../../a1/00/A/IMG_1.jpg", State::Present)})
        EXPECT_EQ(boundary.stateOf(attachments + QLatin1String(file)), state) << file;
    // Spelled with a doubled slash, the path is still the backup's.
    EXPECT_EQ(boundary.stateOf(backup + QStringLiteral("//SMS/Attachments/b2/01/B/IMG_2.jpg")), State::Present);
}
