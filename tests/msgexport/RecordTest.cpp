// export-record.json and --verify: one changed byte, in the output or in the
// backup, is found and named; a backup that has moved away is no difference.
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(target).path()));
        ASSERT_TRUE(QFile::copy(source, target)) << target.toStdString();
    }
}

void flipByte(const QString& path, qint64 at)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.seek(at));
    char c = 0;
    ASSERT_TRUE(file.getChar(&c));
    ASSERT_TRUE(file.seek(at));
    ASSERT_TRUE(file.putChar(static_cast<char>(c ^ 1)));
}

} // namespace

TEST(RecordTest, VerifyFindsOneChangedByteInTheOutputAndInTheBackup)
{
    QTemporaryDir temp;
    const QString backup = QDir(QFileInfo(temp.path()).canonicalFilePath()).filePath(QStringLiteral("backup"));
    const QString output = QDir(temp.path()).filePath(QStringLiteral("out"));
    copyTree(sampleBackup(), backup);
    const QStringList arguments{backup, QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"),
                                output, QStringLiteral("--copy-attachments"), QStringLiteral("--quiet")};
    ASSERT_EQ(runMsgExport(arguments).exitCode, 0);

    // The record names every file written, and what was read: the database and each attachment.
    const QJsonObject record = QJsonDocument::fromJson(readFile(QDir(output).filePath(QStringLiteral("export-record.json"))).toUtf8()).object();
    QStringList written, files;
    for (const QJsonValue file : record[QStringLiteral("written")].toArray())
        written << file[QStringLiteral("path")].toString();
    QDirIterator it(output, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(output).relativeFilePath(it.next());
    files.removeAll(QStringLiteral("export-record.json"));
    files.sort();
    EXPECT_EQ(written, files);
    QStringList roles;
    for (const QJsonValue file : record[QStringLiteral("read")].toArray()) {
        roles << file[QStringLiteral("role")].toString();
        EXPECT_EQ(file[QStringLiteral("sha256")].toString().size(), 64);
    }
    EXPECT_EQ(roles.count(QStringLiteral("message database")), 1);
    EXPECT_EQ(roles.count(QStringLiteral("address book")), 1);
    EXPECT_GE(roles.count(QStringLiteral("attachment")), 3);
    EXPECT_EQ(record[QStringLiteral("commandLine")].toArray().size(), arguments.size() + 1);

    ExportRun check = runMsgExport({QStringLiteral("--verify"), output});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("0 differences")));

    // One byte of a page.
    const QString page = QDir(output).filePath(QStringLiteral("conversation-0001.html"));
    flipByte(page, 200);
    check = runMsgExport({QStringLiteral("--verify"), output});
    EXPECT_EQ(check.exitCode, 13);
    EXPECT_TRUE(check.out.contains(QStringLiteral("changed: ") + page)) << check.out.toStdString();
    flipByte(page, 200);

    // One byte of an attachment in the backup, and the database gone.
    const QJsonArray read = record[QStringLiteral("read")].toArray();
    const QString attachment = read.at(roles.indexOf(QStringLiteral("attachment")))[QStringLiteral("path")].toString();
    flipByte(attachment, 10);
    ASSERT_TRUE(QFile::rename(QDir(backup).filePath(QStringLiteral("SMS/sms.db")), QDir(backup).filePath(QStringLiteral("SMS/old.db"))));
    check = runMsgExport({QStringLiteral("--verify"), output});
    EXPECT_EQ(check.exitCode, 13);
    EXPECT_TRUE(check.out.contains(QStringLiteral("changed from the backup: ") + attachment)) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("missing from the backup: ") + QDir(backup).filePath(QStringLiteral("SMS/sms.db"))));
    EXPECT_TRUE(check.out.contains(QStringLiteral("2 differences")));

    // The backup moved away: the output alone is checked.
    ASSERT_TRUE(QDir().rename(backup, backup + QStringLiteral("-moved")));
    check = runMsgExport({QStringLiteral("--verify"), output});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("not reachable")));

    // A file added to the export, and no record at all.
    writeFile(QDir(output).filePath(QStringLiteral("added.txt")), "x");
    EXPECT_EQ(runMsgExport({QStringLiteral("--verify"), output}).exitCode, 13);
    ASSERT_TRUE(QFile::remove(QDir(output).filePath(QStringLiteral("export-record.json"))));
    check = runMsgExport({QStringLiteral("--verify"), output});
    EXPECT_EQ(check.exitCode, 13);
    EXPECT_TRUE(check.err.contains(QStringLiteral("no export-record.json")));
}
