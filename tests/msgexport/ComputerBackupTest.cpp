// msgexport on computer backups made from the sample backup: the same export
// as from the unpacked folder, one message and exit code per bad input, and
// neither a write into the backup nor a view left behind.
#include "ComputerBackup.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

namespace {

class ComputerBackupTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString at(const QString& name) const { return QFileInfo(temp.path()).canonicalFilePath() + QLatin1Char('/') + name; }
    QStringList cacheEnvironment() const { return {QStringLiteral("XDG_CACHE_HOME=") + at(QStringLiteral("cache"))}; }

    // The sample backup as the computer would have written it.
    QString backupOf(const ComputerBackup& maker, const QString& name)
    {
        const QString folder = at(name);
        EXPECT_TRUE(maker.write(sampleBackup(), folder));
        if (!maker.password.isEmpty())
            writeFile(at(QStringLiteral("password")), maker.password.toUtf8() + "\n");
        return folder;
    }

    static QString normalized(QString text, const QStringList& backupPaths)
    {
        for (const QString& path : backupPaths)
            text.replace(path, QStringLiteral("@BACKUP@"));
        return text;
    }
};

} // namespace

TEST_F(ComputerBackupTest, HashedAndEncryptedBackupsExportAsTheUnpackedFolder)
{
    ComputerBackup encrypted;
    encrypted.password = QStringLiteral("sample p\u00e4ssword");
    const QString password = at(QStringLiteral("password"));
    QDir().mkpath(at(QStringLiteral("extraction/private/var/mobile")));
    QFile::link(sampleBackup(), at(QStringLiteral("extraction/private/var/mobile/Library")));
    const struct
    {
        QString folder;
        QStringList extra;
        QString announced;
    } forms[] = {
        {sampleBackup(), {}, QString()},
        {backupOf(ComputerBackup(), QStringLiteral("hashed")), {}, QStringLiteral("is a computer backup\n")},
        {backupOf(encrypted, QStringLiteral("encrypted")), {QStringLiteral("--password-file"), password},
         QStringLiteral("is a computer backup, encrypted\n")},
        {at(QStringLiteral("extraction")), {}, QStringLiteral("is a file-system extraction; reading private/var")},
    };
    QString expected[3];
    for (const auto& form : forms) {
        if (!symbolicLinks && form.announced.contains(QStringLiteral("extraction")))
            continue; // its Library is a link to the sample
        const QString fingerprintBefore = ComputerBackup::listing(form.folder);
        const QString view = at(QStringLiteral("view"));
        int i = 0;
        for (const char* format : {"text", "json", "html"}) {
            const QString output = at(QStringLiteral("out-") + QLatin1String(format));
            QStringList arguments = QStringList{form.folder, QStringLiteral("--format"), QLatin1String(format),
                                                QStringLiteral("--keep-view"), view}
                + form.extra;
            if (i == 2)
                arguments << QStringLiteral("--output") << output << QStringLiteral("--copy-attachments");
            const ExportRun run = runMsgExport(arguments, cacheEnvironment());
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_EQ(run.err.contains(QStringLiteral(" is a ")), !form.announced.isEmpty());
            EXPECT_TRUE(run.err.contains(form.announced)) << run.err.toStdString();
            const QStringList paths{view, form.folder, sampleBackup()};
            QFile::remove(QDir(output).filePath(QStringLiteral("export-record.json"))); // it names the backup and the time
            const QString exported = i == 2 ? ComputerBackup::contents(output, paths) : normalized(run.out, paths);
            QDir(output).removeRecursively();
            if (expected[i].isEmpty())
                expected[i] = exported;
            EXPECT_EQ(exported.toStdString(), expected[i].toStdString()) << form.folder.toStdString() << ' ' << format;
            ++i;
        }
        EXPECT_EQ(ComputerBackup::listing(form.folder), fingerprintBefore);
        QDir(view).removeRecursively();
    }

    // Without --keep-view the view lives in the cache folder for the run only.
    const ExportRun run = runMsgExport({forms[2].folder, QStringLiteral("--password-file"), password},
                                       cacheEnvironment());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ComputerBackup::contents(at(QStringLiteral("cache"))), QString()) << "views do not outlive the run";
}

TEST_F(ComputerBackupTest, EachBadBackupHasItsOwnMessageAndExitCode)
{
    const auto remove = [](const QString& relative) {
        return [relative](const QString& folder) { QFile::remove(folder + QLatin1Char('/') + relative); };
    };
    const QString sms = ComputerBackup::smsDataPath();
    const struct
    {
        const char* name;
        QString password;      // of the backup; empty: not encrypted
        QString givenPassword; // in --password-file
        quint32 keyBagVersion;
        const char* snapshotState;
        std::function<void(const QString&)> damage;
        int code;
        QString message;
    } cases[] = {
        {"wrong password", QStringLiteral("right"), QStringLiteral("wrong"), 4, "finished", nullptr, 6,
         QStringLiteral("wrong password for the encrypted backup")},
        {"keybag version", QStringLiteral("right"), QStringLiteral("right"), 9, "finished", nullptr, 7,
         QStringLiteral("keybag of an unknown version")},
        {"still written", QStringLiteral("right"), QString(), 4, "uploading", nullptr, 8,
         QStringLiteral("is still being written")},
        {"partial", QString(), QString(), 4, "finished", remove(sms), 9,
         QStringLiteral("partial: the data file of the message database")},
        {"corrupt manifest", QString(), QString(), 4, "finished",
         [](const QString& folder) { writeFile(folder + QStringLiteral("/Manifest.db"), "SQLite format 3"); }, 10,
         QStringLiteral("its Manifest.db cannot be read")},
        {"truncated", QStringLiteral("right"), QStringLiteral("right"), 4, "finished", [sms](const QString& folder) {
             QFile file(folder + QLatin1Char('/') + sms);
             file.resize(file.size() - 100);
         }, 11, QStringLiteral("an encrypted database file is truncated")},
        {"no password", QStringLiteral("right"), QString(), 4, "finished", nullptr, 12,
         QStringLiteral("is encrypted: give its password")},
    };
    for (const auto& c : cases) {
        ComputerBackup maker;
        maker.password = c.password;
        maker.keyBagVersion = c.keyBagVersion;
        maker.snapshotState = QLatin1String(c.snapshotState);
        const QString folder = backupOf(maker, QLatin1String(c.name));
        if (c.damage)
            c.damage(folder);
        const QString before = ComputerBackup::listing(folder);
        QStringList arguments{folder};
        if (!c.givenPassword.isEmpty()) {
            writeFile(at(QStringLiteral("given")), c.givenPassword.toUtf8());
            arguments << QStringLiteral("--password-file") << at(QStringLiteral("given"));
        }
        const ExportRun run = runMsgExport(arguments, cacheEnvironment());
        EXPECT_EQ(run.exitCode, c.code) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << c.name;
        EXPECT_EQ(ComputerBackup::listing(folder), before) << c.name;
    }
    EXPECT_EQ(ComputerBackup::contents(at(QStringLiteral("cache"))), QString()) << "views do not outlive the run";

    // A missing attachment leaves the rest of the export.
    const QString folder = backupOf(ComputerBackup(), QStringLiteral("no-attachment"));
    remove(ComputerBackup::dataPath(QStringLiteral("MediaDomain"),
                                    QStringLiteral("Library/SMS/Attachments/a7/07/C0FFEE12-3456-4789-ABCD-EF0123456789/IMG_0193.jpeg")))(folder);
    const ExportRun run = runMsgExport({folder}, cacheEnvironment());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("IMG_0193.jpeg (not in the backup)"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("IMG_4821-preview-right.jpg"))) << run.out.toStdString();
}

TEST_F(ComputerBackupTest, AnAttachmentClimbingOutOfTheViewIsNotInTheBackupAndTheRestIsCopied)
{
    // An attachment that climbs out of the view into the computer backup's
    // own folder: a name with ".." is judged missing without being looked
    // up, and the export goes on.
    const QString library = at(QStringLiteral("library"));
    makeBackup(library, QStringLiteral(R"sql(
INSERT INTO handle (ROWID, id, service) VALUES (1, '+14155550132', 'iMessage');
INSERT INTO chat (ROWID, guid, chat_identifier, service_name) VALUES (1, 'iMessage;-;+14155550132', '+14155550132', 'iMessage');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me, is_read)
    VALUES (1, 'M1', 'Trailhead at 8', 1, 'iMessage', 737056931000000000, 0, 1);
INSERT INTO chat_message_join VALUES (1, 1, 737056931000000000);
INSERT INTO attachment (ROWID, guid, original_guid, filename, mime_type) VALUES (1, 'A1', 'A1', '~/Library/SMS/Attachments/ok/00/G4/fine.jpg', 'image/jpeg'),
    (2, 'A2', 'A2', '~/Library/../computer/Manifest.db', 'application/octet-stream');
INSERT INTO message_attachment_join VALUES (1, 1), (1, 2);
)sql"));
    writeFile(library + QStringLiteral("/SMS/Attachments/ok/00/G4/fine.jpg"), "fine jpeg");
    const QString folder = at(QStringLiteral("computer"));
    ASSERT_TRUE(ComputerBackup().write(library, folder));
    const QString before = ComputerBackup::listing(folder);
    const QString output = at(QStringLiteral("out"));
    const ExportRun run = runMsgExport({folder, QStringLiteral("--keep-view"), at(QStringLiteral("view")), QStringLiteral("--output"),
                                        output, QStringLiteral("--copy-attachments")},
                                       cacheEnvironment());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString text = readFile(output + QStringLiteral("/conversations.txt"));
    EXPECT_TRUE(text.contains(QStringLiteral("Manifest.db (not in the backup)\n"))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(output + QStringLiteral("/attachments/computer"))) << "nothing of the backup's own files";
    EXPECT_EQ(readFile(output + QStringLiteral("/attachments/SMS/Attachments/ok/00/G4/fine.jpg")), QStringLiteral("fine jpeg"));
    EXPECT_EQ(ComputerBackup::listing(folder), before);
}

TEST_F(ComputerBackupTest, APasswordFileOthersCanReadIsReadWithAWarning)
{
    ComputerBackup encrypted;
    encrypted.password = QStringLiteral("right");
    const QString folder = backupOf(encrypted, QStringLiteral("encrypted"));
    const QString password = at(QStringLiteral("password"));
    const QString warning = QStringLiteral("can be read by other users");
    for (const QFile::Permissions permissions :
         {QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, QFile::ReadOwner | QFile::ReadOther,
          QFile::ReadOwner | QFile::WriteOwner}) {
        ASSERT_TRUE(QFile::setPermissions(password, permissions));
        const ExportRun run = runMsgExport({folder, QStringLiteral("--password-file"), password}, cacheEnvironment());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("conversations"))) << "the password was used";
#if defined(_WIN32)
        EXPECT_FALSE(run.err.contains(warning)) << "Windows has no such mode bits";
#else
        const bool shared = permissions & (QFile::ReadGroup | QFile::ReadOther);
        EXPECT_EQ(run.err.contains(warning), shared) << std::hex << int(permissions) << run.err.toStdString();
#endif
    }
}
