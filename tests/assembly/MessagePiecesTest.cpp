#include "MsgContent.h"
#include "MsgPiece.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/AttachmentInfo.h"
#include "service/MsgDbLoader.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString placeholder = QString(QChar(0xFFFC));
const QString guidFolder = QStringLiteral("SMS/Attachments/ab/11/4C3A1E2B-8F1D-4B7A-9E62-1F0A2C3D4E5F");

struct Piece
{
    std::string mime;
    std::string data;
    bool operator==(const Piece& other) const { return mime == other.mime && data == other.data; }
};
std::ostream& operator<<(std::ostream& out, const Piece& piece)
{
    return out << "{" << piece.mime << ", " << piece.data << "}";
}

class MessagePiecesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        // A load of a folder without a message database fails but remembers
        // the folder, which is all the attachment resolution needs.
        loader.load(backup.folder());
        ServiceDoubles::reset();
    }

    AttachmentInfo* attachment(const QString& filename, const QString& mime = QStringLiteral("image/jpeg"))
    {
        records.push_back(std::make_unique<AttachmentInfo>(AttachmentInfo{filename, mime}));
        return records.back().get();
    }

    std::vector<Piece> build(const QString& text, const QList<AttachmentInfo*>& attachments, int fromMe = 0)
    {
        message.isFromMe = fromMe;
        qDeleteAll(message.pieces);
        message.pieces.clear();
        loader.buildPieces(&message, text, attachments);
        std::vector<Piece> pieces;
        for (const MsgPiece* piece : qAsConst(message.pieces))
            pieces.push_back({piece->mimeType.toStdString(), piece->data.toStdString()});
        return pieces;
    }

    const MsgPiece& lastPiece() const { return *message.pieces.last(); }
    QString inBackup(const QString& relative) const { return backup.path(relative); }

    TestBackup backup;
    MsgDbLoader loader;
    MsgContent message;
    std::vector<std::unique_ptr<AttachmentInfo>> records;
};

const Piece image{"image/jpeg", ""};
Piece text(const char* t)
{
    return {"text/plain", t};
}

} // namespace

TEST_F(MessagePiecesTest, TextWithoutPlaceholderIsOnePieceUntrimmed)
{
    EXPECT_EQ(build(QStringLiteral("  see you at 8 \n"), {}), (std::vector<Piece>{text("  see you at 8 \n")}));
    EXPECT_EQ(build(QString(), {}), (std::vector<Piece>{text("")})) << "an empty text still gives a piece";
    EXPECT_EQ(build(QString::fromUtf8("Grüße 👋"), {}), (std::vector<Piece>{text("Grüße 👋")}));
}

TEST_F(MessagePiecesTest, PlaceholdersPairWithRecordsInOrder)
{
    AttachmentInfo* a = attachment(QStringLiteral("~/Library/a.jpeg"));
    AttachmentInfo* b = attachment(QStringLiteral("~/Library/b.jpeg"));

    EXPECT_EQ(build(QStringLiteral("word ") + placeholder + QStringLiteral(" "), {a}),
              (std::vector<Piece>{text("word"), image}));
    EXPECT_EQ(build(placeholder + placeholder, {a}), (std::vector<Piece>{image})) << "a placeholder without a record";
    EXPECT_EQ(build(placeholder, {a, b}), (std::vector<Piece>{image})) << "a record without a placeholder";
    EXPECT_EQ(build(QStringLiteral("look"), {a, b}), (std::vector<Piece>{image, image})) << "no placeholder: no text";
    EXPECT_EQ(build(QStringLiteral(" one ") + placeholder + QStringLiteral("\ttwo\t") + placeholder +
                        QStringLiteral(" three"),
                    {a, b}),
              (std::vector<Piece>{text("one"), image, text("two"), image, text("three")}));
    ASSERT_EQ(message.pieces.size(), 5);
    EXPECT_TRUE(message.pieces.at(1)->filePath.endsWith(QStringLiteral("/a.jpeg")));
    EXPECT_TRUE(message.pieces.at(3)->filePath.endsWith(QStringLiteral("/b.jpeg")));
}

TEST_F(MessagePiecesTest, PreviewBesideTheFileIsChosenBySide)
{
    backup.writeFile(guidFolder + QStringLiteral("/IMG_0001.jpeg"));
    backup.writeFile(guidFolder + QStringLiteral("/IMG_0001-preview-right.jpg"));
    backup.writeFile(guidFolder + QStringLiteral("/IMG_0001-preview-left.jpg"));
    AttachmentInfo* record = attachment(QStringLiteral("~/Library/") + guidFolder + QStringLiteral("/IMG_0001.jpeg"));

    build(placeholder, {record}, 1);
    EXPECT_EQ(lastPiece().mimeType, QStringLiteral("image/jpeg"));
    EXPECT_TRUE(lastPiece().data.isEmpty());
    EXPECT_EQ(lastPiece().filePath, inBackup(guidFolder + QStringLiteral("/IMG_0001.jpeg")));
    EXPECT_EQ(lastPiece().previewPath, inBackup(guidFolder + QStringLiteral("/IMG_0001-preview-right.jpg")));

    build(placeholder, {record}, 0);
    EXPECT_EQ(lastPiece().previewPath, inBackup(guidFolder + QStringLiteral("/IMG_0001-preview-left.jpg")));
    EXPECT_TRUE(ServiceDoubles::get().logs.empty());
}

TEST_F(MessagePiecesTest, OnlyRegularVisibleFilesMatchAndLetterCaseIsIgnored)
{
    backup.writeFile(guidFolder + QStringLiteral("/.hidden.gif"));
    backup.writeFile(guidFolder + QStringLiteral("/.hidden-preview-left.jpg"));
    backup.makeFolder(guidFolder + QStringLiteral("/IMG_0002-preview-left.d"));
    backup.writeFile(guidFolder + QStringLiteral("/IMG_0002.HEIC"));
    AttachmentInfo* hidden = attachment(QStringLiteral("~/Library/") + guidFolder + QStringLiteral("/.hidden.gif"));
    AttachmentInfo* folderOnly = attachment(QStringLiteral("~/Library/") + guidFolder + QStringLiteral("/IMG_0002.HEIC"));

    build(placeholder, {hidden});
    EXPECT_EQ(lastPiece().previewPath, inBackup(guidFolder + QStringLiteral("/.hidden.gif")));
    build(placeholder, {folderOnly});
    EXPECT_EQ(lastPiece().previewPath, lastPiece().filePath) << "a folder is no preview";

    backup.writeFile(guidFolder + QStringLiteral("/img_0002 PREVIEW Left.JPG"));
    build(placeholder, {folderOnly});
    EXPECT_EQ(lastPiece().previewPath, inBackup(guidFolder + QStringLiteral("/img_0002 PREVIEW Left.JPG")));
}

TEST_F(MessagePiecesTest, BothDevicePrefixesResolveIntoTheBackup)
{
    backup.writeFile(QStringLiteral("SMS/Attachments/cd/12/G/voice.caf"));
    for (const char* prefix : {"~/Library/", "/var/mobile/Library/", "~/Library//var/mobile/Library/"}) {
        SCOPED_TRACE(prefix);
        ServiceDoubles::reset();
        AttachmentInfo* record = attachment(QString::fromLatin1(prefix) + QStringLiteral("SMS/Attachments/cd/12/G/voice.caf"),
                                            QStringLiteral("audio/x-caf"));
        build(placeholder, {record}, 1);
        EXPECT_EQ(lastPiece().filePath, inBackup(QStringLiteral("SMS/Attachments/cd/12/G/voice.caf")));
        EXPECT_EQ(lastPiece().previewPath, lastPiece().filePath) << "no preview: the file itself";
        EXPECT_TRUE(ServiceDoubles::get().logs.empty());
    }
}

TEST_F(MessagePiecesTest, BaseNameLosesOnlyTheLastSuffix)
{
    backup.writeFile(QStringLiteral("SMS/Attachments/x/archive.tar.gz"));
    backup.writeFile(QStringLiteral("SMS/Attachments/x/archive-preview-left.jpg"));
    backup.writeFile(QStringLiteral("SMS/Attachments/x/archive.tar-preview-left.jpg"));
    build(placeholder, {attachment(QStringLiteral("~/Library/SMS/Attachments/x/archive.tar.gz"), QString())});
    EXPECT_EQ(lastPiece().previewPath, inBackup(QStringLiteral("SMS/Attachments/x/archive.tar-preview-left.jpg")));
    EXPECT_TRUE(lastPiece().mimeType.isEmpty());
}

TEST_F(MessagePiecesTest, MissingFileIsLoggedAndStillGivesAPiece)
{
    backup.makeFolder(guidFolder);
    build(QStringLiteral("pic ") + placeholder,
          {attachment(QStringLiteral("~/Library/") + guidFolder + QStringLiteral("/gone.png"), QStringLiteral("image/png"))});
    EXPECT_EQ(ServiceDoubles::get().logsOf("MsgDbLoader"),
              (std::vector<std::string>{"0 attachment " + guidFolder.toStdString() + "/gone.png not exists."}));
    ASSERT_EQ(message.pieces.size(), 2);
    EXPECT_EQ(lastPiece().filePath, inBackup(guidFolder + QStringLiteral("/gone.png")));
    EXPECT_EQ(lastPiece().previewPath, lastPiece().filePath);
}

TEST_F(MessagePiecesTest, MissingFolderLeavesThePathsDirectlyUnderTheBackup)
{
    build(placeholder, {attachment(QStringLiteral("/var/mobile/Library/SMS/Attachments/no/where/IMG_9.jpeg"))});
    EXPECT_EQ(ServiceDoubles::get().logsOf("MsgDbLoader"),
              (std::vector<std::string>{"0 attachment SMS/Attachments/no/where/IMG_9.jpeg not exists."}));
    EXPECT_EQ(lastPiece().filePath, inBackup(QStringLiteral("IMG_9.jpeg")));
    EXPECT_EQ(lastPiece().previewPath, inBackup(QStringLiteral("IMG_9.jpeg")));
}
