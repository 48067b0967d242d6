// The attachment lookup has a direct way for a clean absolute backup folder
// and plain paths, and goes through QDir otherwise. A backup folder named
// with a trailing slash takes the QDir way for every attachment, and the
// pieces are built from cleaned paths either way: both spellings must give
// the same model and the same log lines, whatever odd files the backup holds.
#include "BenchTestSupport.h"
#include "FixtureDatabase.h"
#include "ModelDump.h"
#include "MsgService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Attachment
{
    const char* filename; // as stored; null for NULL
    bool fromMe;
};

// Attachment paths and the files around them, one message each.
const Attachment attachments[] = {
    {"~/Library/SMS/Attachments/aa/01/PLAIN/IMG_0001.jpeg", false},
    {"~/Library/SMS/Attachments/aa/01/PLAIN/IMG_0001.jpeg", true},
    {"/var/mobile/Library/SMS/Attachments/aa/02/OLD/IMG_0002.HEIC", true},
    {"~/Library/SMS/Attachments/aa/03/MISSINGFILE/IMG_0003.jpeg", false},
    {"~/Library/SMS/Attachments/aa/04/NOFOLDER/IMG_0004.jpeg", false},
    {"~/Library/SMS/Attachments/aa/05/LINKED/IMG_0005.jpeg", false},
    {"~/Library/SMS/Attachments/aa/06/BROKEN/IMG_0006.jpeg", false},
    {"~/Library/SMS/Attachments/aa/07/FILELINK/IMG_0007.jpeg", true},
    {"~/Library/SMS/Attachments/aa/08/ODD PREVIEWS/Café ü.jpeg", false},
    {"~/Library/SMS/Attachments/aa/08/ODD PREVIEWS/Café ü.jpeg", true},
    {"~/Library/SMS/Attachments/aa/09/FOLDERFILE/IMG_0009.jpeg", false},
    {"~/Library/SMS/Attachments/aa/01/../01/PLAIN/IMG_0001.jpeg", false},
    {"~/Library/SMS/Attachments/aa/01/./PLAIN/IMG_0001.jpeg", false},
    {"~/Library/SMS/Attachments//aa/01/PLAIN/IMG_0001.jpeg", false},
    {"~/Library/loose.jpg", false},
    {"loose.jpg", false},
    {"/elsewhere/IMG_0010.jpeg", false},
    {"~/Library/SMS/Attachments/aa/11/COLON/:odd.jpeg", false},
    {"~/Library/SMS/Attachments/aa/12/DIRFILE/", false},
    {"~/Library/", false},
    {nullptr, false},
};

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1;
}

bool makeFiles(const QString& root)
{
    const QString a = root + QStringLiteral("/SMS/Attachments/aa/");
    bool ok = QDir().mkpath(a + QStringLiteral("01/PLAIN")) && touch(a + QStringLiteral("01/PLAIN/IMG_0001.jpeg"))
        && touch(a + QStringLiteral("01/PLAIN/IMG_0001-preview-left.jpg"))
        && touch(a + QStringLiteral("01/PLAIN/IMG_0001-preview-right.jpg"));
    ok = ok && QDir().mkpath(a + QStringLiteral("02/OLD")) && touch(a + QStringLiteral("02/OLD/IMG_0002.HEIC"))
        && touch(a + QStringLiteral("02/OLD/IMG_0002-PREVIEW-RIGHT.JPG"));
    ok = ok && QDir().mkpath(a + QStringLiteral("03/MISSINGFILE")) && touch(a + QStringLiteral("03/MISSINGFILE/other.jpeg"));
    // A folder that is a link to another folder.
    ok = ok && QDir().mkpath(root + QStringLiteral("/real05")) && QDir().mkpath(a + QStringLiteral("05"))
        && touch(root + QStringLiteral("/real05/IMG_0005.jpeg"))
        && touch(root + QStringLiteral("/real05/IMG_0005-preview-left.png"))
        && QFile::link(root + QStringLiteral("/real05"), a + QStringLiteral("05/LINKED"));
    ok = ok && QDir().mkpath(a + QStringLiteral("06/BROKEN"))
        && QFile::link(root + QStringLiteral("/nowhere.jpeg"), a + QStringLiteral("06/BROKEN/IMG_0006.jpeg"));
    // The file and its preview are links to files elsewhere; a hidden preview
    // and a preview that is a folder come first in no particular order.
    ok = ok && QDir().mkpath(a + QStringLiteral("07/FILELINK/IMG_0007-preview-right-folder"))
        && touch(a + QStringLiteral("07/FILELINK/.IMG_0007-preview-right.jpg")) && touch(root + QStringLiteral("/target.jpg"))
        && QFile::link(root + QStringLiteral("/target.jpg"), a + QStringLiteral("07/FILELINK/IMG_0007.jpeg"))
        && QFile::link(root + QStringLiteral("/target.jpg"), a + QStringLiteral("07/FILELINK/IMG_0007-preview-right.jpg"));
    ok = ok && QDir().mkpath(a + QStringLiteral("08/ODD PREVIEWS")) && touch(a + QStringLiteral("08/ODD PREVIEWS/Café ü.jpeg"))
        && touch(a + QStringLiteral("08/ODD PREVIEWS/Café ü-Preview-Left.jpeg"));
    // A file where the folder should be.
    ok = ok && QDir().mkpath(a + QStringLiteral("09")) && touch(a + QStringLiteral("09/FOLDERFILE"));
    ok = ok && touch(root + QStringLiteral("/loose.jpg"));
    ok = ok && QDir().mkpath(a + QStringLiteral("11/COLON")) && touch(a + QStringLiteral("11/COLON/:odd.jpeg"));
    ok = ok && QDir().mkpath(a + QStringLiteral("12/DIRFILE"));
    return ok;
}

QString database()
{
    QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"));
    sql += QStringLiteral("insert into chat (ROWID, guid, chat_identifier) values (1, 'c', '+15550100');\n");
    int rowid = 0;
    for (const Attachment& attachment : attachments) {
        ++rowid;
        const QString filename = attachment.filename
            ? QStringLiteral("cast(X'%1' as text)").arg(QString::fromLatin1(QByteArray(attachment.filename).toHex()))
            : QStringLiteral("null");
        sql += QStringLiteral("insert into message (ROWID, guid, text, is_from_me, date) values (%1, 'm%1', char(65532), %2, %1);\n"
                              "insert into chat_message_join (chat_id, message_id) values (1, %1);\n"
                              "insert into attachment (ROWID, guid, original_guid, filename, mime_type) values (%1, 'a%1', 'a%1', %3, 'image/jpeg');\n"
                              "insert into message_attachment_join (message_id, attachment_id) values (%1, %1);\n")
                   .arg(rowid)
                   .arg(attachment.fromMe ? 1 : 0)
                   .arg(filename);
    }
    return sql;
}

// The model and the log lines of a load of folder.
QByteArray loadAndLog(const QString& folder)
{
    QByteArray model;
    const QByteArray log = stderrOf([&] {
        MsgService service(QStringLiteral("test"), false);
        model = service.loadBackup(folder) ? dumpModel(service) : QByteArray("not loaded");
    });
    return model + "--- log\n" + log;
}

} // namespace

TEST(AttachmentPaths, DirectAndQDirLookupsAgree)
{
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/backup");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/SMS")));
    ASSERT_TRUE(makeFiles(root));
    QString error;
    ASSERT_TRUE(FixtureDatabase::create(root + QStringLiteral("/SMS/sms.db"), database(), FixtureDatabase::Journal::Rollback, &error))
        << qPrintable(error);

    const QByteArray direct = loadAndLog(QDir::cleanPath(root));
    const QByteArray throughQDir = loadAndLog(root + QLatin1Char('/'));
    EXPECT_EQ(direct, throughQDir);

    // The cases themselves: found, missing, linked and previews.
    const QByteArray folder = QDir::cleanPath(root).toUtf8() + "/SMS/Attachments/aa/";
    EXPECT_TRUE(direct.contains("preview=\"" + folder + "01/PLAIN/IMG_0001-preview-left.jpg\""));
    EXPECT_TRUE(direct.contains("preview=\"" + folder + "01/PLAIN/IMG_0001-preview-right.jpg\""));
    EXPECT_TRUE(direct.contains("preview=\"" + folder + "05/LINKED/IMG_0005-preview-left.png\""));
    EXPECT_TRUE(direct.contains("preview=\"" + folder + "07/FILELINK/IMG_0007-preview-right.jpg\""));
    EXPECT_TRUE(direct.contains("attachment SMS/Attachments/aa/03/MISSINGFILE/IMG_0003.jpeg not exists."));
    EXPECT_TRUE(direct.contains("attachment SMS/Attachments/aa/06/BROKEN/IMG_0006.jpeg not exists."));
    EXPECT_FALSE(direct.contains("IMG_0005.jpeg not exists."));
    EXPECT_FALSE(direct.contains("IMG_0007.jpeg not exists."));
    EXPECT_EQ(direct.count("not exists."), throughQDir.count("not exists."));
}
