// Conversion of attachments for the pages: HEIC photos and stickers become
// JPEG and PNG with thumbnails, bad files become notes, and a second run into
// the same folder converts nothing.
#include "AvInput.h"
#include "ConversionPool.h"
#include "ImageConverter.h"
#include "MediaCache.h"
#include "MediaConverter.h"
#include "MediaFixture.h"
#include "OutputFolder.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <gtest/gtest.h>
#include <vector>

namespace {

class MediaConverterTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString in(const QString& name) const { return temp.filePath(QStringLiteral("in/") + name); }
    QString out() const { return temp.filePath(QStringLiteral("out")); }

    void SetUp() override { QDir().mkpath(temp.filePath(QStringLiteral("in"))); }

    QString writeHeic(const QString& name, const QImage& image)
    {
        QString error;
        const QByteArray bytes = MediaFixture::heic(image, 50, &error);
        EXPECT_FALSE(bytes.isEmpty()) << error.toStdString();
        writeFile(in(name), bytes);
        return in(name);
    }

    static ConversationView conversationOf(const QList<QPair<QString, QString>>& files)
    {
        ConversationView conversation;
        MessageView message;
        for (const auto& file : files) {
            PieceView piece;
            piece.kind = PieceView::Kind::Attachment;
            piece.attachment.mimeType = file.second;
            piece.attachment.fileName = QFileInfo(file.first).fileName();
            piece.attachment.filePath = file.first;
            piece.attachment.previewPath = file.first;
            piece.attachment.fileState = BackupBoundary::FileState::Present;
            piece.attachment.previewState = BackupBoundary::FileState::Present;
            message.pieces << piece;
        }
        conversation.messages << message;
        return conversation;
    }

    static const AttachmentView& attachment(const ConversationView& conversation, int i)
    {
        return conversation.messages.at(0).pieces.at(i).attachment;
    }

    QImage imageAt(const QString& relative) const { return QImage(QDir(out()).filePath(relative)); }

    QStringList leftovers() const
    {
        QStringList names;
        QDirIterator it(out(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = it.next();
            const QString suffix = QFileInfo(name).suffix();
            if (!QStringList{QStringLiteral("json"), QStringLiteral("jpg"), QStringLiteral("png"), QStringLiteral("ogg"),
                             QStringLiteral("mp4")}
                     .contains(suffix))
                names << name;
        }
        return names;
    }
};

TEST_F(MediaConverterTest, HeicPhotosAndStickersBecomeJpegAndPngWithThumbnails)
{
    const QString photo = writeHeic(QStringLiteral("IMG_0001.HEIC"), MediaFixture::pattern(2000, 1500, false));
    const QString sticker = writeHeic(QStringLiteral("sticker.heic"), MediaFixture::pattern(300, 300, true));
    ConversationView conversation = conversationOf({{photo, QStringLiteral("image/heic")}, {sticker, QString()}});
    const OutputFolder folder(out());
    MediaConverter converter(folder, MediaLimits(), 2);
    converter.convert(conversation);
    EXPECT_EQ(converter.converted(), 2);

    const ConvertedMediaView& big = attachment(conversation, 0).converted;
    EXPECT_EQ(big.note, QString());
    EXPECT_EQ(big.mimeType, QStringLiteral("image/jpeg"));
    EXPECT_EQ(QSize(big.width, big.height), QSize(2000, 1500));
    EXPECT_EQ(imageAt(big.path).size(), QSize(2000, 1500));
    EXPECT_EQ(imageAt(big.thumbnail).size(), QSize(1024, 768));
    // The colours survive the trip through HEVC's YCbCr: the middle is the sun.
    const QColor middle = imageAt(big.path).pixelColor(1000, 600);
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.blue(), 140);

    const ConvertedMediaView& small = attachment(conversation, 1).converted;
    EXPECT_EQ(small.mimeType, QStringLiteral("image/png"));
    EXPECT_EQ(small.thumbnail, small.path); // small enough to be its own thumbnail
    const QImage png = imageAt(small.path);
    EXPECT_TRUE(png.hasAlphaChannel());
    EXPECT_EQ(png.pixelColor(2, 2).alpha(), 0);
    EXPECT_EQ(png.pixelColor(150, 100).alpha(), 255);
}

TEST_F(MediaConverterTest, SecondRunIntoTheSameFolderConvertsNothing)
{
    const QString photo = writeHeic(QStringLiteral("a.heic"), MediaFixture::pattern(1200, 900, false));
    writeFile(in(QStringLiteral("broken.heic")), QByteArray("\0\0\0\x18" "ftypheic", 12) + QByteArray(300, 'x'));
    const QList<QPair<QString, QString>> files = {{photo, QStringLiteral("image/heic")},
                                                  {in(QStringLiteral("broken.heic")), QStringLiteral("image/heic")}};
    ConversationView first = conversationOf(files);
    {
        const OutputFolder folder(out());
        MediaConverter converter(folder, MediaLimits(), 2);
        converter.convert(first);
        EXPECT_EQ(converter.converted(), 1);
        EXPECT_EQ(converter.failed(), 1);
        // The same file in a later conversation of the run is not looked at again.
        ConversationView again = conversationOf(files);
        converter.convert(again);
        EXPECT_EQ(converter.converted() + converter.reused() + converter.failed(), 2);
    }
    ConversationView second = conversationOf(files);
    const OutputFolder folder(out());
    MediaConverter converter(folder, MediaLimits(), 2);
    converter.convert(second);
    EXPECT_EQ(converter.converted(), 0);
    EXPECT_EQ(converter.reused(), 2);
    EXPECT_EQ(attachment(second, 0).converted.path, attachment(first, 0).converted.path);
    EXPECT_EQ(attachment(second, 1).converted.note, attachment(first, 1).converted.note);

    // A converted file that has gone is made again.
    ASSERT_TRUE(QFile::remove(QDir(out()).filePath(attachment(first, 0).converted.thumbnail)));
    ConversationView third = conversationOf(files);
    MediaConverter again(folder, MediaLimits(), 1);
    again.convert(third);
    EXPECT_EQ(again.converted(), 1);
}

TEST_F(MediaConverterTest, BadPicturesBecomeNotesWithoutDecoding)
{
    QByteArray heic = MediaFixture::heic(MediaFixture::pattern(64, 48, false));
    ASSERT_FALSE(heic.isEmpty());
    // The same picture claiming 30000 x 30000 pixels: refused from its header.
    QByteArray bomb = heic;
    const int ispe = bomb.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    for (int side : {0, 1}) {
        const quint32 size = 30000;
        for (int b = 0; b < 4; ++b)
            bomb[ispe + 8 + 4 * side + b] = static_cast<char>((size >> (24 - 8 * b)) & 0xff);
    }
    writeFile(in(QStringLiteral("bomb.heic")), bomb);
    writeFile(in(QStringLiteral("cut.heic")), heic.left(heic.size() / 2));
    writeFile(in(QStringLiteral("noise.tiff")), QByteArray(4096, '\x5a'));
    QImage wide(20000, 2, QImage::Format_RGB32);
    wide.fill(Qt::red);
    wide.save(in(QStringLiteral("wide.png")));
    ConversationView conversation = conversationOf({{in(QStringLiteral("bomb.heic")), QStringLiteral("image/heic")},
                                                    {in(QStringLiteral("cut.heic")), QStringLiteral("image/heic")},
                                                    {in(QStringLiteral("noise.tiff")), QStringLiteral("image/tiff")},
                                                    {in(QStringLiteral("wide.png")), QStringLiteral("image/png")}});
    const OutputFolder folder(out());
    MediaConverter converter(folder, MediaLimits(), 2);
    converter.convert(conversation);
    EXPECT_TRUE(attachment(conversation, 0).converted.note.startsWith(QStringLiteral("picture too large")))
        << attachment(conversation, 0).converted.note.toStdString();
    EXPECT_FALSE(attachment(conversation, 1).converted.note.isEmpty());
    EXPECT_FALSE(attachment(conversation, 2).converted.note.isEmpty());
    EXPECT_TRUE(attachment(conversation, 3).converted.note.startsWith(QStringLiteral("picture too large")));
    EXPECT_EQ(converter.failed(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(attachment(conversation, i).converted.path.isEmpty());
}

TEST_F(MediaConverterTest, InterruptionLeavesNoFileBehind)
{
    const QString photo = writeHeic(QStringLiteral("a.heic"), MediaFixture::pattern(1600, 1200, false));
    ConversationView conversation = conversationOf({{photo, QStringLiteral("image/heic")}});
    const OutputFolder folder(out());
    MediaConverter converter(folder, MediaLimits(), 1);
    std::atomic<int> checks{0};
    // Stops at the third look: after the decode, during the first write.
    converter.cancelled = [&checks] { return ++checks >= 3; };
    converter.convert(conversation);
    EXPECT_TRUE(attachment(conversation, 0).converted.isEmpty());
    EXPECT_EQ(leftovers(), QStringList());
    QDirIterator it(out(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    EXPECT_FALSE(it.hasNext()) << it.next().toStdString();
}

// The codec of the best stream of a type in a converted file.
AVCodecID codecOf(const QString& path, AVMediaType type)
{
    AvInput input;
    QString note;
    if (!input.openFile(path, &note))
        return AV_CODEC_ID_NONE;
    const int stream = input.bestStream(type);
    return stream < 0 ? AV_CODEC_ID_NONE : input.format()->streams[stream]->codecpar->codec_id;
}

TEST_F(MediaConverterTest, VoiceMessagesAndVideosBecomeWhatBrowsersPlay)
{
    QString error;
    ASSERT_TRUE(MediaFixture::voiceMessage(in(QStringLiteral("Audio Message.caf")), 2500, &error)) << error.toStdString();
    ASSERT_TRUE(MediaFixture::voiceMessage(in(QStringLiteral("old.caf")), 1500, &error, true)) << error.toStdString();
    ASSERT_TRUE(MediaFixture::movie(in(QStringLiteral("IMG_0002.MOV")), 320, 240, 30, &error)) << error.toStdString();
    QFile whole(in(QStringLiteral("IMG_0002.MOV")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    writeFile(in(QStringLiteral("cut.mov")), whole.read(whole.size() / 3));
    writeFile(in(QStringLiteral("noise.caf")), QByteArray("caff\0\1\0\0", 8) + QByteArray(2000, '\x11'));
    ConversationView conversation = conversationOf({{in(QStringLiteral("Audio Message.caf")), QStringLiteral("audio/x-caf")},
                                                    {in(QStringLiteral("old.caf")), QStringLiteral("audio/x-caf")},
                                                    {in(QStringLiteral("IMG_0002.MOV")), QStringLiteral("video/quicktime")},
                                                    {in(QStringLiteral("cut.mov")), QStringLiteral("video/quicktime")},
                                                    {in(QStringLiteral("noise.caf")), QStringLiteral("audio/x-caf")}});
    const OutputFolder folder(out());
    MediaConverter converter(folder, MediaLimits(), 2);
    converter.convert(conversation);

    // Opus is copied into Ogg as it is; PCM is encoded as Opus.
    for (int i : {0, 1}) {
        const ConvertedMediaView& voice = attachment(conversation, i).converted;
        EXPECT_EQ(voice.note, QString()) << i;
        EXPECT_EQ(voice.mimeType, QStringLiteral("audio/ogg"));
        EXPECT_EQ(codecOf(QDir(out()).filePath(voice.path), AVMEDIA_TYPE_AUDIO), AV_CODEC_ID_OPUS) << i;
        EXPECT_NEAR(voice.durationMs, i == 0 ? 2500 : 1500, 100) << i;
    }
    const ConvertedMediaView& video = attachment(conversation, 2).converted;
    EXPECT_EQ(video.note, QString());
    EXPECT_EQ(video.mimeType, QStringLiteral("video/mp4"));
    EXPECT_EQ(codecOf(QDir(out()).filePath(video.path), AVMEDIA_TYPE_VIDEO), AV_CODEC_ID_H264);
    EXPECT_EQ(imageAt(video.thumbnail).size(), QSize(320, 240));
    EXPECT_NEAR(video.durationMs, 1000, 100);

    // A cut movie still has its first frames: a poster, perhaps no MP4; noise is a note.
    const ConvertedMediaView& cut = attachment(conversation, 3).converted;
    EXPECT_TRUE(!cut.note.isEmpty() || !imageAt(cut.thumbnail).isNull());
    EXPECT_FALSE(attachment(conversation, 4).converted.note.isEmpty());
    EXPECT_EQ(leftovers(), QStringList()); // no temporary file left
}

// msgexport itself: the sample's photo, sticker, voice message and video are
// converted once; a second export into the folder converts nothing; JSON lists
// what was made; --no-convert makes nothing.
TEST(MediaExportTest, SecondExportConvertsNothingAndNoConvertMakesNothing)
{
    QTemporaryDir temp;
    const QString pages = temp.filePath(QStringLiteral("pages"));
    const QStringList html = {sampleBackup(), QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"), pages};
    ExportRun run = runMsgExport(html);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("media: 4 converted, 0 taken from earlier exports, 0 could not be converted")))
        << run.err.toStdString();
    run = runMsgExport(html);
    EXPECT_TRUE(run.err.contains(QStringLiteral("media: 0 converted, 4 taken from earlier exports, 0 could not be converted")))
        << run.err.toStdString();
    // What was taken from the earlier export belongs to this one's record.
    const ExportRun check = runMsgExport({QStringLiteral("--verify"), pages});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();

    const QString json = temp.filePath(QStringLiteral("json"));
    run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--output"), json});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString listed = readFile(json + QStringLiteral("/conversations.json"));
    EXPECT_EQ(captures(listed, QStringLiteral("\"mimeType\": \"([^\"]*)\",\\s*\"note\": null,\\s*\"path\": \"media/")),
              QStringList({QStringLiteral("image/jpeg"), QStringLiteral("image/png"), QStringLiteral("audio/ogg"),
                           QStringLiteral("video/mp4")}));

    const QString plain = temp.filePath(QStringLiteral("plain"));
    run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"), plain,
                        QStringLiteral("--no-convert")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(plain + QStringLiteral("/media")));
    EXPECT_FALSE(readFile(plain + QStringLiteral("/conversation-0002.html")).contains(QStringLiteral("<audio")));
    EXPECT_TRUE(runMsgExport({QStringLiteral("--version")}).out.contains(QStringLiteral("converts pictures")));
}

TEST(ConversionPoolTest, RunsEveryJobOnceAndWaitsForAll)
{
    ConversionPool pool(3);
    for (int round = 0; round < 3; ++round) {
        std::vector<std::atomic<int>> calls(200);
        pool.run(200, [&calls](int i) { ++calls[static_cast<size_t>(i)]; });
        for (const auto& count : calls)
            ASSERT_EQ(count.load(), 1);
    }
}

TEST(MediaCacheTest, RecordsOnlyNameFilesOfTheirOwnKey)
{
    ConvertedMediaView media;
    media.kind = ConvertedMediaView::Kind::Audio;
    media.path = QStringLiteral("../outside.ogg");
    media.durationMs = 4200;
    ConvertedMediaView read;
    ASSERT_TRUE(MediaCache::fromRecord(MediaCache::toRecord(media), &read));
    EXPECT_EQ(read.durationMs, 4200);
    EXPECT_EQ(read.path, media.path);

    QTemporaryDir temp;
    const OutputFolder folder(temp.path());
    const MediaCache cache(folder);
    const QString key = QStringLiteral("0123456789abcdef0123456789abcdef");
    QString error;
    ASSERT_TRUE(cache.store(key, media, &error));
    EXPECT_FALSE(cache.find(key, &read)); // a record pointing outside its own files is not trusted
    EXPECT_FALSE(MediaCache::fromRecord("{\"kind\":\"nonsense\"}", &read));
}

} // namespace
