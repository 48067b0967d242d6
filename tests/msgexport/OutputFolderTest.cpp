// The output folder: links at the names msgexport writes, planted there to
// lead into the backup or anywhere else, are replaced and never written
// through, and a failed write leaves nothing behind.
#include "OutputFolder.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class OutputFolderTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString at(const QString& name) const { return QFileInfo(temp.path()).canonicalFilePath() + QLatin1Char('/') + name; }

    static QStringList entries(const QString& folder)
    {
        QStringList names;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names << QDir(folder).relativeFilePath(it.next());
        names.sort();
        return names;
    }

    static bool write(const OutputFolder& folder, const QString& name, const QByteArray& content, QString* error = nullptr)
    {
        return folder.writeFile(name, [&](QIODevice& device) { return device.write(content) == content.size(); }, error);
    }
};

// One conversation with an attachment that is copied.
const char* const conversationSql = R"sql(
INSERT INTO handle (ROWID, id, service) VALUES (1, '+14155550132', 'iMessage');
INSERT INTO chat (ROWID, guid, chat_identifier, service_name) VALUES (1, 'iMessage;-;+14155550132', '+14155550132', 'iMessage');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me, is_read)
    VALUES (1, 'M1', 'Trailhead at 8 ' || char(65532), 1, 'iMessage', 737056931000000000, 0, 1);
INSERT INTO chat_message_join VALUES (1, 1, 737056931000000000);
INSERT INTO attachment (ROWID, guid, original_guid, filename, mime_type)
    VALUES (1, 'A1', 'A1', '~/Library/SMS/Attachments/ok/00/G1/fine.jpg', 'image/jpeg');
INSERT INTO message_attachment_join VALUES (1, 1);
)sql";

} // namespace

TEST_F(OutputFolderTest, ReplacesLinksAtFileAndFolderNamesAndLeavesNoTemporaryFile)
{
    if (!symbolicLinks)
        GTEST_SKIP() << "no symbolic links here";
    writeFile(at(QStringLiteral("elsewhere/precious.txt")), "precious");
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("out"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("elsewhere/precious.txt")), at(QStringLiteral("out/file.txt"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("nowhere")), at(QStringLiteral("out/dangling.txt"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("elsewhere")), at(QStringLiteral("out/sub"))));

    const OutputFolder folder(at(QStringLiteral("out")));
    ASSERT_TRUE(folder.isOpen()) << folder.errorString().toStdString();
    EXPECT_EQ(folder.path(), at(QStringLiteral("out")));
    QString error;
    EXPECT_TRUE(write(folder, QStringLiteral("file.txt"), "one", &error)) << error.toStdString();
    EXPECT_TRUE(write(folder, QStringLiteral("dangling.txt"), "two", &error)) << error.toStdString();
    EXPECT_TRUE(write(folder, QStringLiteral("sub/deeper/precious.txt"), "three", &error)) << error.toStdString();
    EXPECT_TRUE(folder.copyFile(at(QStringLiteral("elsewhere/precious.txt")), QStringLiteral("sub/copy.txt"), &error))
        << error.toStdString();

    EXPECT_EQ(readFile(at(QStringLiteral("elsewhere/precious.txt"))), QStringLiteral("precious"));
    EXPECT_EQ(entries(at(QStringLiteral("elsewhere"))), QStringList{QStringLiteral("precious.txt")});
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("nowhere"))));
    for (const char* name : {"file.txt", "dangling.txt", "sub", "sub/deeper/precious.txt", "sub/copy.txt"})
        EXPECT_FALSE(QFileInfo(at(QStringLiteral("out/")) + QLatin1String(name)).isSymLink()) << name;
    EXPECT_EQ(readFile(at(QStringLiteral("out/file.txt"))), QStringLiteral("one"));
    EXPECT_EQ(readFile(at(QStringLiteral("out/dangling.txt"))), QStringLiteral("two"));
    EXPECT_EQ(readFile(at(QStringLiteral("out/sub/deeper/precious.txt"))), QStringLiteral("three"));
    EXPECT_EQ(readFile(at(QStringLiteral("out/sub/copy.txt"))), QStringLiteral("precious"));

    // A body that gives up, a name that is a folder, a name that climbs out,
    // a folder that is a file: each fails and leaves the folder as it was.
    const QStringList before = entries(at(QStringLiteral("out")));
    EXPECT_FALSE(folder.writeFile(QStringLiteral("given-up.txt"), [](QIODevice& device) {
        device.write("half");
        return false;
    }, nullptr));
    error.clear();
    EXPECT_FALSE(write(folder, QStringLiteral("sub"), "x", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot write"))) << error.toStdString();
    EXPECT_FALSE(write(folder, QStringLiteral("../escaped.txt"), "x", &error));
    EXPECT_FALSE(write(folder, QStringLiteral("file.txt/inner.txt"), "x", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot create the folder"))) << error.toStdString();
    EXPECT_FALSE(folder.copyFile(at(QStringLiteral("elsewhere/missing.txt")), QStringLiteral("missing.txt"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot read"))) << error.toStdString();
    EXPECT_EQ(entries(at(QStringLiteral("out"))), before);
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("escaped.txt"))));
}

TEST_F(OutputFolderTest, AnOutputFolderThatCannotBeMadeSaysSo)
{
    writeFile(at(QStringLiteral("plain-file")), "x");
    const OutputFolder folder(at(QStringLiteral("plain-file/out")));
    EXPECT_FALSE(folder.isOpen());
    EXPECT_TRUE(folder.errorString().contains(QStringLiteral("cannot create the output folder")));
    QString error;
    EXPECT_FALSE(write(folder, QStringLiteral("a.txt"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(OutputFolderTest, ExportsReplaceLinksPlantedInTheOutputFolderAndLeaveTheirTargetsAlone)
{
    if (!symbolicLinks)
        GTEST_SKIP() << "no symbolic links here";
    const QString backup = at(QStringLiteral("backup"));
    makeBackup(backup, QString::fromUtf8(conversationSql));
    writeFile(backup + QStringLiteral("/SMS/Attachments/ok/00/G1/fine.jpg"), "fine jpeg");
    writeFile(at(QStringLiteral("elsewhere/notes.txt")), "the user's notes");
    const QString database = backup + QStringLiteral("/SMS/sms.db");
    const QString attachment = backup + QStringLiteral("/SMS/Attachments/ok/00/G1/fine.jpg");
    const QString notes = at(QStringLiteral("elsewhere/notes.txt"));
    const QStringList targets{database, attachment, notes};
    QList<QByteArray> targetBytes;
    for (const QString& target : targets) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        targetBytes << file.readAll();
    }
    const QString backupBefore = ComputerBackup::listing(backup);
    const QString elsewhereBefore = ComputerBackup::listing(at(QStringLiteral("elsewhere")));

    // Each name a format writes, once leading into the backup and once to
    // the user's own file or nowhere; the attachments folder into the
    // backup's folder of attachments and to a folder of the user's.
    const struct
    {
        const char* format;
        const char* name;
        QString into;
        QString elsewhere;
    } plantings[] = {
        {"html", "index.html", database, notes},
        {"html", "conversation-0001.html", attachment, at(QStringLiteral("nowhere.html"))},
        {"json", "conversations.json", database, notes},
        {"text", "conversations.txt", database, at(QStringLiteral("nowhere.txt"))},
    };
    int run = 0;
    for (const auto& planting : plantings) {
        for (const QString& target : {planting.into, planting.elsewhere}) {
            const QString output = at(QStringLiteral("out-%1").arg(++run));
            const QString planted = output + QLatin1Char('/') + QLatin1String(planting.name);
            ASSERT_TRUE(QDir().mkpath(output));
            ASSERT_TRUE(QFile::link(target, planted));
            ASSERT_TRUE(QFile::link(run % 2 ? backup + QStringLiteral("/SMS") : at(QStringLiteral("elsewhere")),
                                    output + QStringLiteral("/attachments")));
            const ExportRun exported = runMsgExport({backup, QStringLiteral("--format"), QLatin1String(planting.format),
                                                     QStringLiteral("--output"), output, QStringLiteral("--copy-attachments")});
            const std::string label = std::string(planting.name) + " -> " + target.toStdString();
            EXPECT_EQ(exported.exitCode, 0) << label << ": " << exported.err.toStdString();
            const QFileInfo written(planted);
            EXPECT_TRUE(written.isFile() && !written.isSymLink()) << label;
            EXPECT_TRUE(readFile(planted).contains(QStringLiteral("+14155550132"))) << label;
            const QFileInfo copies(output + QStringLiteral("/attachments"));
            EXPECT_TRUE(copies.isDir() && !copies.isSymLink()) << label;
            EXPECT_EQ(readFile(output + QStringLiteral("/attachments/SMS/Attachments/ok/00/G1/fine.jpg")),
                      QStringLiteral("fine jpeg"))
                << label;
            QDirIterator files(output, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                const QString file = files.next();
                EXPECT_FALSE(QFileInfo(file).isSymLink()) << file.toStdString();
                EXPECT_FALSE(QFileInfo(file).fileName().startsWith(QLatin1Char('.'))) << "left behind: " << file.toStdString();
            }
        }
    }
    for (int i = 0; i < targets.size(); ++i) {
        QFile file(targets[i]);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), targetBytes[i]) << targets[i].toStdString();
    }
    EXPECT_EQ(ComputerBackup::listing(backup), backupBefore);
    EXPECT_EQ(ComputerBackup::listing(at(QStringLiteral("elsewhere"))), elsewhereBefore);
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("nowhere.html"))));
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("nowhere.txt"))));
}
