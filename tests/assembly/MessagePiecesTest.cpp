#include "MsgContent.h"
#include "MsgPiece.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/AttachmentInfo.h"
#include "service/MsgDbLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString placeholder = QString(QChar(0xFFFC));
const QString folder = QStringLiteral("SMS/Attachments/ab/11/G1/");

class MessagePiecesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A failed load still remembers the folder, which is all the pieces need.
        loader.load(backup.folder());
        ServiceDoubles::reset();
    }
    // Each piece as "mime:text" or "mime:file|preview", paths relative to the backup.
    QStringList build(const QString& text, const QList<QString>& files, int fromMe = 0)
    {
        std::vector<AttachmentInfo> records;
        for (const QString& file : files)
            records.push_back(AttachmentInfo{file, QStringLiteral("image/jpeg")});
        QList<AttachmentInfo*> attachments;
        for (AttachmentInfo& record : records)
            attachments << &record;
        MsgContent message;
        message.isFromMe = fromMe;
        loader.buildPieces(&message, text, attachments);
        QStringList pieces;
        const QString root = backup.folder() + QLatin1Char('/');
        for (const MsgPiece* piece : qAsConst(message.pieces))
            pieces << piece->mimeType + QLatin1Char(':')
                    + (piece->filePath.isEmpty() ? QString::fromUtf8(piece->data)
                                                 : QString(piece->filePath).remove(root) + QLatin1Char('|')
                                                       + QString(piece->previewPath).remove(root));
        return pieces;
    }
    TestBackup backup;
    MsgDbLoader loader;
};

} // namespace

TEST_F(MessagePiecesTest, PlaceholdersPairWithRecordsInOrder)
{
    const QString a = QStringLiteral("~/Library/a.jpeg");
    const QString b = QStringLiteral("~/Library/b.jpeg");
    const QString image = QStringLiteral("image/jpeg:a.jpeg|a.jpeg");
    EXPECT_EQ(build(QStringLiteral("  untrimmed \n"), {}), QStringList{QStringLiteral("text/plain:  untrimmed \n")});
    EXPECT_EQ(build(QString(), {}), QStringList{QStringLiteral("text/plain:")});
    EXPECT_EQ(build(QStringLiteral("word ") + placeholder + QStringLiteral(" "), {a}),
              (QStringList{QStringLiteral("text/plain:word"), image}));
    EXPECT_EQ(build(placeholder + placeholder, {a}), QStringList{image}) << "a placeholder without a record";
    EXPECT_EQ(build(placeholder, {a, b}), QStringList{image}) << "a record without a placeholder";
    EXPECT_EQ(build(QStringLiteral("look"), {a, b}).size(), 2) << "no placeholder: attachments only";
    EXPECT_EQ(build(QStringLiteral(" one ") + placeholder + QStringLiteral("\ttwo\t") + placeholder + QStringLiteral(" 3"), {a, b}),
              (QStringList{QStringLiteral("text/plain:one"), image, QStringLiteral("text/plain:two"),
                           QStringLiteral("image/jpeg:b.jpeg|b.jpeg"), QStringLiteral("text/plain:3")}));
}

// Odd files and paths are compared with the general lookup in bench/tests.
TEST_F(MessagePiecesTest, FilesResolveIntoTheBackupWithThePreviewOfTheirSideAndMissingOnesAreLogged)
{
    for (const char* name : {"IMG_1.jpeg", "IMG_1-preview-right.jpg", "IMG_1-preview-left.jpg", "a.tar.gz", "a-preview-left.jpg",
                             "a.tar-preview-left.jpg"})
        backup.writeFile(folder + QLatin1String(name));
    const QString home = QStringLiteral("~/Library/") + folder;
    EXPECT_EQ(build(placeholder, {home + QStringLiteral("IMG_1.jpeg")}, 1),
              QStringList{QStringLiteral("image/jpeg:%1IMG_1.jpeg|%1IMG_1-preview-right.jpg").arg(folder)});
    EXPECT_EQ(build(placeholder, {QStringLiteral("/var/mobile/Library/") + folder + QStringLiteral("IMG_1.jpeg")}),
              QStringList{QStringLiteral("image/jpeg:%1IMG_1.jpeg|%1IMG_1-preview-left.jpg").arg(folder)});
    EXPECT_EQ(build(placeholder, {home + QStringLiteral("a.tar.gz")}), QStringList{QStringLiteral("image/jpeg:%1a.tar.gz|%1a.tar-preview-left.jpg").arg(folder)});
    EXPECT_TRUE(ServiceDoubles::get().logs.empty());
    EXPECT_EQ(build(placeholder, {home + QStringLiteral("gone.png")}), QStringList{QStringLiteral("image/jpeg:%1gone.png|%1gone.png").arg(folder)});
    EXPECT_EQ(build(placeholder, {QStringLiteral("/var/mobile/Library/SMS/no/where/IMG_9.jpeg")}),
              QStringList{QStringLiteral("image/jpeg:IMG_9.jpeg|IMG_9.jpeg")}) << "a missing folder: under the backup";
    EXPECT_EQ(ServiceDoubles::get().logsOf("MsgDbLoader"), (std::vector<std::string>{"0 attachment " + folder.toStdString() + "gone.png not exists.",
                                                                                     "0 attachment SMS/no/where/IMG_9.jpeg not exists."}));
}

TEST_F(MessagePiecesTest, NamesLeadingOutOfTheBackupAreMissingWithoutLookingThere)
{
    // Files that exist outside the backup, with a preview beside them.
    QTemporaryDir outside;
    for (const char* name : {"IMG_5.jpeg", "IMG_5-preview-left.jpg"}) {
        QFile file(outside.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString sibling = QFileInfo(backup.folder()).fileName() + QStringLiteral("-beside.jpeg");
    const QString besidePath = QFileInfo(backup.folder()).dir().filePath(sibling);
    QFile beside(besidePath);
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    // A preview that the backup folder itself holds is still found.
    backup.writeFile(QStringLiteral("IMG_5-preview-left.png"));

    const struct
    {
        QString filename;   // as the attachment table holds it
        QString pieceNames; // file|preview, relative to the backup
        QString logged;     // the path the log line names
    } cases[] = {
        {outside.filePath(QStringLiteral("IMG_5.jpeg")), QStringLiteral("IMG_5.jpeg|IMG_5-preview-left.png"),
         outside.filePath(QStringLiteral("IMG_5.jpeg"))},
        {QStringLiteral("~/Library/../") + sibling, sibling + QLatin1Char('|') + sibling, QStringLiteral("../") + sibling},
        {QStringLiteral("/var/mobile/Library/SMS/../../") + sibling, sibling + QLatin1Char('|') + sibling,
         QStringLiteral("SMS/../../") + sibling},
        {QStringLiteral("//host/share/IMG_5.jpeg"), QStringLiteral("IMG_5.jpeg|IMG_5-preview-left.png"),
         QStringLiteral("//host/share/IMG_5.jpeg")},
        {QStringLiteral("C:/Users/me/x.jpeg"), QStringLiteral("x.jpeg|x.jpeg"), QStringLiteral("C:/Users/me/x.jpeg")},
#if defined(Q_OS_WIN)
        {QStringLiteral("\\\\host\\share\\x.jpeg"), QStringLiteral("x.jpeg|x.jpeg"), QStringLiteral("\\\\host\\share\\x.jpeg")},
        {QStringLiteral("SMS\\..\\..\\x.jpeg"), QStringLiteral("x.jpeg|x.jpeg"), QStringLiteral("SMS\\..\\..\\x.jpeg")},
#else
        // A name of its own there, below the backup folder.
        {QStringLiteral("\\\\host\\share\\x.jpeg"), QStringLiteral("\\\\host\\share\\x.jpeg|\\\\host\\share\\x.jpeg"),
         QStringLiteral("\\\\host\\share\\x.jpeg")},
#endif
    };
    for (const auto& c : cases) {
        ServiceDoubles::reset();
        EXPECT_EQ(build(placeholder, {c.filename}), QStringList{QStringLiteral("image/jpeg:") + c.pieceNames})
            << c.filename.toStdString();
        EXPECT_EQ(ServiceDoubles::get().logsOf("MsgDbLoader"),
                  std::vector<std::string>{"0 attachment " + c.logged.toStdString() + " not exists."})
            << c.filename.toStdString();
    }
    QFile::remove(besidePath);
}
