// msgexport as users run it: exit codes and messages, device folders, and
// the rule that nothing outside the backup is copied or linked and nothing
// inside it is written.
#include "TestSupport.h"

#include "FixtureDatabase.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// One conversation with Maya; attachments follow in the SQL given.
const char* const conversationSql = R"sql(
INSERT INTO handle (ROWID, id, service) VALUES (1, '+14155550132', 'iMessage');
INSERT INTO chat (ROWID, guid, chat_identifier, service_name) VALUES (1, 'iMessage;-;+14155550132', '+14155550132', 'iMessage');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me, is_read)
    VALUES (1, 'M1', 'Trailhead at 8 ' || char(65532, 65532, 65532, 65532), 1, 'iMessage', 737056931000000000, 0, 1);
INSERT INTO chat_message_join VALUES (1, 1, 737056931000000000);
)sql";

class CommandLineTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString at(const QString& name) const { return QFileInfo(temp.path()).canonicalFilePath() + QLatin1Char('/') + name; }

    // msgexport must fail with code, say why on standard error, and write nothing to standard output.
    static void expectFailure(const QStringList& arguments, int code, const QString& message, const QStringList& environment = {})
    {
        const ExportRun run = runMsgExport(arguments, environment);
        EXPECT_EQ(run.exitCode, code) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
};

TEST_F(CommandLineTest, RefusesBadArgumentsAndWhatItCannotLoadWithAClearMessage)
{
    const QString sample = sampleBackup();
    writeFile(at(QStringLiteral("text/SMS/sms.db")), "not a database at all\n");
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("empty"))) && QDir().mkpath(at(QStringLiteral("ios5/SMS"))));
    ASSERT_TRUE(FixtureDatabase::create(at(QStringLiteral("ios5/SMS/sms.db")),
                                        FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios5-sms.sql"))));
    const QString root = QStringLiteral("VEXOBACKUP_ROOT=") + at(QStringLiteral("root"));
    const struct
    {
        QStringList arguments;
        int code;
        const char* message;
    } failures[] = {
        {{}, 1, "Give either a backup folder or --device"},
        {{sample, QStringLiteral("--device"), QStringLiteral("x")}, 1, "Give either"},
        {{sample, QStringLiteral("--format"), QStringLiteral("docx")}, 1, "Unknown format \"docx\""},
        {{sample, QStringLiteral("--format"), QStringLiteral("html")}, 1, "give --output"},
        {{sample, QStringLiteral("--copy-attachments")}, 1, "--copy-attachments needs --output"},
        {{sample, QStringLiteral("--colour")}, 1, "Unknown option"},
        {{at(QStringLiteral("nowhere"))}, 2, "backup folder not found"},
        {{QStringLiteral("--device"), QStringLiteral("other")}, 2, "no backup of device other"},
        {{at(QStringLiteral("empty"))}, 3, "SMS/sms.db is missing"},
        {{at(QStringLiteral("text"))}, 4, "is not an SQLite database"},
        {{at(QStringLiteral("ios5"))}, 4, "no chat_message_join table"},
    };
    for (const auto& failure : failures)
        expectFailure(failure.arguments, failure.code, QString::fromUtf8(failure.message), {root});
    const ExportRun help = runMsgExport({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--device", "--format", "--output", "--copy-attachments", "--quiet", "Exit codes"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(runMsgExport({QStringLiteral("--version")}).out.startsWith(QStringLiteral("msgexport 1.")));

    makeBackup(at(QStringLiteral("root/00008101-0012")), QString::fromUtf8(conversationSql));
    const ExportRun device = runMsgExport({QStringLiteral("--device"), QStringLiteral("00008101-0012")}, {root});
    EXPECT_EQ(device.exitCode, 0) << device.err.toStdString();
    EXPECT_TRUE(device.out.contains(QStringLiteral("2024-05-10 18:02  +14155550132: Trailhead at 8"))) << device.out.toStdString();
}

TEST_F(CommandLineTest, NeverWritesIntoTheBackupNorCopiesOrLinksWhatLiesOutsideIt)
{
    // Attachments that try to reach a file outside the backup, next to an ordinary one.
    const QString backup = at(QStringLiteral("backup"));
    makeBackup(backup, QString::fromUtf8(conversationSql) + QStringLiteral(R"sql(
INSERT INTO attachment (ROWID, guid, original_guid, filename, mime_type) VALUES (1, 'A1', 'A1', '~/Library/../secret.txt', 'text/plain'),
    (2, 'A2', 'A2', '~/Library/../../../etc/passwd', 'text/plain'), (3, 'A3', 'A3', '~/Library/SMS/Attachments/ev/G3/photo.jpg', 'image/jpeg'),
    (4, 'A4', 'A4', '~/Library/SMS/Attachments/ok/00/G4/fine.jpg', 'image/jpeg');
INSERT INTO message_attachment_join VALUES (1, 1), (1, 2), (1, 3), (1, 4);
)sql"));
    writeFile(at(QStringLiteral("secret.txt")), "secret words");
    writeFile(backup + QStringLiteral("/SMS/Attachments/ok/00/G4/fine.jpg"), "fine jpeg");
    for (const char* link : {"photo.jpg", "photo-preview-left.jpg"})
        ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/SMS/Attachments/ev/G3"))
                    && (!symbolicLinks || QFile::link(at(QStringLiteral("secret.txt")), backup + QStringLiteral("/SMS/Attachments/ev/G3/") + QLatin1String(link))));
    const QString before = ComputerBackup::listing(backup);
    ASSERT_TRUE(!symbolicLinks || QFile::link(backup + QStringLiteral("/SMS"), at(QStringLiteral("into-backup"))));
    for (const QString& output : {backup, QDir::toNativeSeparators(backup + QStringLiteral("/SMS/../../backup/x")),
                                  symbolicLinks ? at(QStringLiteral("into-backup/export")) : backup + QStringLiteral("/SMS/new")})
        expectFailure({backup, QStringLiteral("--output"), output}, 5, QStringLiteral("refusing to write into the backup folder"));
    // An output folder whose attachments folder leads back into the backup:
    // the link gives way to a folder of its own.
    if (symbolicLinks) {
        ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("linked-out"))));
        ASSERT_TRUE(QFile::link(backup + QStringLiteral("/SMS"), at(QStringLiteral("linked-out/attachments"))));
        const ExportRun run = runMsgExport({backup, QStringLiteral("--output"), at(QStringLiteral("linked-out")),
                                            QStringLiteral("--copy-attachments")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QFileInfo copies(at(QStringLiteral("linked-out/attachments")));
        EXPECT_TRUE(copies.isDir() && !copies.isSymLink());
    }
    for (const char* format : {"text", "json", "html"}) {
        const QString output = at(QLatin1String(format));
        const ExportRun run = runMsgExport({backup, QStringLiteral("--format"), QLatin1String(format), QStringLiteral("--output"),
                                            output, QStringLiteral("--copy-attachments")});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QStringList copies;
        QDirIterator files(output, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            EXPECT_NE(readFile(file), QStringLiteral("secret words")) << file.toStdString();
            if (file.contains(QStringLiteral("/attachments/")))
                copies << QDir(output).relativeFilePath(file);
        }
        EXPECT_EQ(copies, QStringList{QStringLiteral("attachments/SMS/Attachments/ok/00/G4/fine.jpg")});
    }
    EXPECT_EQ(ComputerBackup::listing(backup), before);
    // Pages link only the ordinary attachment, copied or not, besides the index.
    ASSERT_EQ(runMsgExport({backup, QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"),
                            at(QStringLiteral("linked"))}).exitCode, 0);
    const QString page = readFile(at(QStringLiteral("linked/conversation-0001.html")));
    const QStringList links = pageLinks(page);
    ASSERT_EQ(links.size(), 3) << links.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(links.at(1).endsWith(QStringLiteral("ok/00/G4/fine.jpg")));
    // Outside or missing alike: the page does not tell which.
    EXPECT_EQ(page.count(QStringLiteral("\u2014 not in the backup")), 3);
    EXPECT_FALSE(page.contains(QStringLiteral("outside the backup")));
    const QJsonObject json = QJsonDocument::fromJson(readFile(at(QStringLiteral("json/conversations.json"))).toUtf8()).object();
    const QJsonArray pieces = json[QStringLiteral("conversations")][0][QStringLiteral("messages")][0][QStringLiteral("pieces")].toArray();
    QStringList states;
    for (const QJsonValue piece : pieces)
        states << piece[QStringLiteral("fileState")].toString() + QLatin1Char('/') + piece[QStringLiteral("previewState")].toString();
    // Names leading out of the backup are missing to the library: their paths lie in the backup folder.
    EXPECT_EQ(states, (QStringList{QStringLiteral("/"), QStringLiteral("missing/missing"), QStringLiteral("missing/missing"),
                                   symbolicLinks ? QStringLiteral("outside/outside") : QStringLiteral("missing/missing"),
                                   QStringLiteral("present/present")}));
}

TEST_F(CommandLineTest, StandardErrorStaysQuietUnlessAskedForTheLog)
{
    // Standard error is a pipe here: no progress, and the library's lines
    // about missing attachments only with --verbose.
    const ExportRun plain = runMsgExport({sampleBackup()});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    const ExportRun verbose = runMsgExport({sampleBackup(), QStringLiteral("--verbose")});
    EXPECT_TRUE(verbose.err.contains(QStringLiteral("IMG_5501.MOV"))) << verbose.err.toStdString();
    EXPECT_EQ(verbose.out, plain.out);
}

// The sample's one message in Recently Deleted is shown in place (goldens);
// --skip-deleted leaves it out of the text, the counts and the JSON alike.
TEST_F(CommandLineTest, SkipDeletedLeavesRecentlyDeletedOutEverywhere)
{
    const ExportRun shown = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json")});
    const ExportRun skipped =
        runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--skip-deleted")});
    ASSERT_EQ(skipped.exitCode, 0) << skipped.err.toStdString();
    const QJsonObject all = QJsonDocument::fromJson(shown.out.toUtf8()).object();
    const QJsonObject kept = QJsonDocument::fromJson(skipped.out.toUtf8()).object();
    EXPECT_EQ(kept.value(QStringLiteral("messageCount")).toInt(), all.value(QStringLiteral("messageCount")).toInt() - 1);
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\"deleted\": {")));
    EXPECT_FALSE(skipped.out.contains(QStringLiteral("\"deleted\"")));
    const ExportRun text = runMsgExport({sampleBackup(), QStringLiteral("--skip-deleted")});
    EXPECT_FALSE(text.out.contains(QStringLiteral("[deleted")));
    EXPECT_FALSE(text.out.contains(QStringLiteral("trail map again")));
}

} // namespace

TEST_F(CommandLineTest, AnAttachmentThatCannotBeCopiedIsSkippedWithANoteAndTheRestIsCopied)
{
    const QString backup = at(QStringLiteral("backup"));
    makeBackup(backup, QString::fromUtf8(conversationSql) + QStringLiteral(R"sql(
INSERT INTO attachment (ROWID, guid, original_guid, filename, mime_type) VALUES (1, 'A1', 'A1', '~/Library/SMS/Attachments/ok/00/G4/fine.jpg', 'image/jpeg'),
    (2, 'A2', 'A2', '~/Library/SMS/Attachments/bad/00/G5/stuck.jpg', 'image/jpeg');
INSERT INTO message_attachment_join VALUES (1, 1), (1, 2);
)sql"));
    writeFile(backup + QStringLiteral("/SMS/Attachments/ok/00/G4/fine.jpg"), "fine jpeg");
    writeFile(backup + QStringLiteral("/SMS/Attachments/bad/00/G5/stuck.jpg"), "stuck jpeg");
    const QString before = ComputerBackup::listing(backup);
    // A file where the folder of one copy must go: that copy cannot be made.
    const QString output = at(QStringLiteral("out"));
    writeFile(output + QStringLiteral("/attachments/SMS/Attachments/bad"), "in the way");

    const ExportRun text = runMsgExport({backup, QStringLiteral("--output"), output, QStringLiteral("--copy-attachments")});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.err.contains(QStringLiteral("1 of the attachment files could not be copied"))) << text.err.toStdString();
    EXPECT_EQ(readFile(output + QStringLiteral("/attachments/SMS/Attachments/ok/00/G4/fine.jpg")), QStringLiteral("fine jpeg"));
    const QString exported = readFile(output + QStringLiteral("/conversations.txt"));
    EXPECT_TRUE(exported.contains(QStringLiteral("/SMS/Attachments/bad/00/G5/stuck.jpg (not copied: cannot be read or written)\n")))
        << exported.toStdString();
    EXPECT_TRUE(exported.contains(QStringLiteral("/SMS/Attachments/ok/00/G4/fine.jpg\n"))) << exported.toStdString();

    const ExportRun html = runMsgExport({backup, QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"),
                                         output, QStringLiteral("--copy-attachments"), QStringLiteral("--verbose")});
    EXPECT_EQ(html.exitCode, 0) << html.err.toStdString();
    EXPECT_TRUE(html.err.contains(QStringLiteral("msgexport: attachment not copied: ") + backup
                                  + QStringLiteral("/SMS/Attachments/bad/00/G5/stuck.jpg: cannot create the folder")))
        << html.err.toStdString();
    const QString page = readFile(output + QStringLiteral("/conversation-0001.html"));
    EXPECT_TRUE(page.contains(QStringLiteral("<span class=\"note\">not copied: cannot be read or written</span>"))) << page.toStdString();
    EXPECT_TRUE(pageLinks(page).contains(QStringLiteral("attachments/SMS/Attachments/ok/00/G4/fine.jpg")));
    EXPECT_EQ(ComputerBackup::listing(backup), before);
}
