// The attachment lookup has a direct way for a clean absolute backup folder
// and plain paths, and goes through QDir otherwise (a folder named with a
// trailing slash takes it for every attachment): both must give the same
// model and the same log lines, whatever odd files the backup holds.
#include "FixtureDatabase.h"
#include "ModelDump.h"
#include "MsgService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Stored paths below "~/Library/SMS/Attachments/" ('>' marks a sent
// message), and the files around them below the same folder: "file",
// "folder/", "link>target".
const char* const stored[] = {"01/PLAIN/IMG_1.jpeg", ">01/PLAIN/IMG_1.jpeg", ">/var/mobile/Library/SMS/Attachments/02/OLD/IMG_2.HEIC",
    "03/NOFILE/IMG_3.jpeg", "04/NOFOLDER/IMG_4.jpeg", "05/LINKED/IMG_5.jpeg", "06/BROKEN/IMG_6.jpeg", ">07/FILELINK/IMG_7.jpeg",
    "08/ODD/Café ü.jpeg", ">08/ODD/Café ü.jpeg", "09/FOLDERFILE/IMG_9.jpeg", "01/../01/PLAIN/IMG_1.jpeg", "01/./PLAIN/IMG_1.jpeg",
    "~/Library/SMS/Attachments//01/PLAIN/IMG_1.jpeg", "~/Library/loose.jpg", "loose.jpg", "/elsewhere/IMG_10.jpeg", "11/COLON/:odd.jpeg", "12/DIR/", "~/Library/", "",
    "13/GONE/A/IMG_13.jpeg", ">13/GONE/B/IMG_13.jpeg", "13/GONE/A/IMG_14.jpeg"};
const char* const files[] = {"01/PLAIN/IMG_1.jpeg", "01/PLAIN/IMG_1-preview-left.jpg", "01/PLAIN/IMG_1-preview-right.jpg",
    "02/OLD/IMG_2.HEIC", "02/OLD/IMG_2-PREVIEW-RIGHT.JPG", "03/NOFILE/other.jpeg", "../../real05/IMG_5.jpeg",
    "../../real05/IMG_5-preview-left.png", "05/LINKED>../../real05", "06/BROKEN/IMG_6.jpeg>../../nowhere.jpeg",
    "07/FILELINK/IMG_7-preview-right-folder/", "07/FILELINK/.IMG_7-preview-right.jpg", "../../target.jpg",
    "07/FILELINK/IMG_7.jpeg>../../target.jpg", "07/FILELINK/IMG_7-preview-right.jpg>../../target.jpg",
    "08/ODD/Café ü.jpeg", "08/ODD/Café ü-Preview-Left.jpeg", "09/FOLDERFILE", "../../loose.jpg", "11/COLON/:odd.jpeg", "12/DIR/",
    "../../IMG_13-preview-left.jpg"};

// The model and the log lines of a load of folder.
QByteArray loadAndLog(const QString& folder)
{
    QTemporaryFile capture;
    EXPECT_TRUE(capture.open());
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    QByteArray model;
    {
        MsgService service(QStringLiteral("test"), false);
        model = service.loadBackup(folder) ? dumpModel(service) : QByteArray("not loaded");
    }
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return model + "--- log\n" + capture.readAll();
}

} // namespace

TEST(AttachmentPaths, DirectAndQDirLookupsAgree)
{
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/backup");
    const QString attachments = root + QStringLiteral("/SMS/Attachments/");
    for (const char* entry : files) {
        const QStringList parts = QString::fromUtf8(entry).split(QLatin1Char('>'));
        const QString path = QDir::cleanPath(attachments + parts.at(0));
        const bool folderEntry = parts.at(0).endsWith(QLatin1Char('/'));
        ASSERT_TRUE(QDir().mkpath(folderEntry ? path : QFileInfo(path).path()));
        const bool made = parts.size() > 1 ? QFile::link(QDir::cleanPath(attachments + parts.at(1)), path)
                                           : folderEntry || QFile(path).open(QIODevice::WriteOnly);
        ASSERT_TRUE(made) << entry;
    }
    QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"))
        + QStringLiteral("insert into chat (ROWID, guid, chat_identifier) values (1, 'c', '+15550100');\n");
    int rowid = 0;
    for (const char* entry : stored) {
        QString path = QString::fromUtf8(entry);
        const bool sent = path.startsWith(QLatin1Char('>'));
        path = path.mid(sent ? 1 : 0);
        if (!path.startsWith(QLatin1Char('/')) && !path.startsWith(QLatin1Char('~')) && path != QLatin1String("loose.jpg"))
            path.prepend(QStringLiteral("~/Library/SMS/Attachments/"));
        sql += QStringLiteral("insert into message (ROWID, guid, text, is_from_me, date) values (%1, 'm%1', char(65532), %2, %1);"
                              "insert into chat_message_join values (1, %1, 0); insert into message_attachment_join values (%1, %1);"
                              "insert into attachment (ROWID, guid, original_guid, filename, mime_type) values (%1, 'a%1', 'a%1', %3, 'image/jpeg');\n")
                   .arg(++rowid).arg(sent ? 1 : 0)
                   .arg(path.isEmpty() ? QStringLiteral("null") : QStringLiteral("cast(X'%1' as text)").arg(QString::fromLatin1(path.toUtf8().toHex())));
    }
    ASSERT_TRUE(FixtureDatabase::create(root + QStringLiteral("/SMS/sms.db"), sql));

    const QByteArray direct = loadAndLog(QDir::cleanPath(root));
    EXPECT_EQ(direct, loadAndLog(root + QLatin1Char('/')));
    const QByteArray folder = attachments.toUtf8();
    for (const char* found : {"01/PLAIN/IMG_1-preview-left.jpg", "01/PLAIN/IMG_1-preview-right.jpg", "02/OLD/IMG_2-PREVIEW-RIGHT.JPG",
                              "05/LINKED/IMG_5-preview-left.png", "07/FILELINK/IMG_7-preview-right.jpg"})
        EXPECT_TRUE(direct.contains("preview=\"" + QDir::cleanPath(QString::fromUtf8(folder + found)).toUtf8() + '"')) << found;
    for (const char* missing : {"03/NOFILE/IMG_3.jpeg", "06/BROKEN/IMG_6.jpeg"})
        EXPECT_TRUE(direct.contains(QByteArray("attachment SMS/Attachments/") + missing + " not exists.")) << missing;
    // Below a folder already found missing the preview is still the backup folder's own.
    EXPECT_TRUE(direct.contains("preview=\"" + root.toUtf8() + "/IMG_13-preview-left.jpg\""));
    EXPECT_TRUE(direct.contains("attachment SMS/Attachments/13/GONE/A/IMG_14.jpeg not exists."));
    EXPECT_FALSE(direct.contains("IMG_5.jpeg not exists.") || direct.contains("IMG_7.jpeg not exists."));
}
