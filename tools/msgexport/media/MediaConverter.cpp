#include "MediaConverter.h"

#include "AudioConverter.h"
#include "AvInput.h"
#include "ImageConverter.h"
#include "OutputFolder.h"
#include "VideoConverter.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <libheif/heif.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace {

bool hasSuffix(const AttachmentView& attachment, std::initializer_list<const char*> suffixes)
{
    const QString name = attachment.fileName.isEmpty() ? attachment.filePath : attachment.fileName;
    const QString suffix = QFileInfo(name).suffix().toLower();
    for (const char* s : suffixes) {
        if (suffix == QLatin1String(s))
            return true;
    }
    return false;
}

ConvertedMediaView noted(ConvertedMediaView::Kind kind, const QString& note)
{
    ConvertedMediaView media;
    media.kind = kind;
    media.note = note;
    return media;
}

} // namespace

MediaConverter::MediaConverter(const OutputFolder& output, const MediaLimits& limits, int threads)
    : output(output)
    , limits(limits)
    , cache(output)
    , pool(threads)
{
}

MediaConverter::Handling MediaConverter::handlingOf(const AttachmentView& attachment)
{
    const QString& mime = attachment.mimeType;
    // The device records HEIC as image/heic (a sticker too) and Live Photo
    // sequences as image/heic-sequence; older messages may lack a type.
    if (mime.startsWith(QLatin1String("image/hei")) || mime == QLatin1String("image/avif")
        || mime == QLatin1String("image/tiff") || hasSuffix(attachment, {"heic", "heics", "heif", "hif", "avif", "tif", "tiff"}))
        return Handling::Picture;
    if (mime == QLatin1String("image/jpeg") || mime == QLatin1String("image/png") || mime == QLatin1String("image/webp")
        || (mime.isEmpty() && hasSuffix(attachment, {"jpg", "jpeg", "png", "webp"})))
        return Handling::BrowserPicture;
    // Voice messages are audio/x-caf; older ones AMR.
    if (mime.startsWith(QLatin1String("audio/")) || hasSuffix(attachment, {"caf", "amr", "m4a", "opus", "wav", "aif", "aiff", "mp3"}))
        return Handling::Audio;
    if (mime.startsWith(QLatin1String("video/")) || hasSuffix(attachment, {"mov", "mp4", "m4v", "3gp"}))
        return Handling::Video;
    return Handling::None;
}

QString MediaConverter::libraries()
{
    return QStringLiteral("libheif %1, FFmpeg %2")
        .arg(QLatin1String(heif_get_version()), QLatin1String(av_version_info()));
}

void MediaConverter::convert(ConversationView& conversation)
{
    struct Job {
        QString path;
        Handling handling;
        bool hasPreview;
        ConvertedMediaView result;
    };
    std::vector<Job> jobs;
    QHash<QString, int> jobOf;
    std::vector<std::pair<AttachmentView*, int>> targets;
    for (MessageView& message : conversation.messages) {
        for (PieceView& piece : message.pieces) {
            if (piece.kind != PieceView::Kind::Attachment)
                continue;
            AttachmentView& attachment = piece.attachment;
            const Handling handling = handlingOf(attachment);
            if (handling == Handling::None || attachment.fileState != BackupBoundary::FileState::Present)
                continue;
            const bool hasPreview =
                attachment.hasOwnPreview() && attachment.previewState == BackupBoundary::FileState::Present;
            {
                std::lock_guard<std::mutex> lock(mutex);
                const auto known = done.constFind(attachment.filePath);
                if (known != done.constEnd()) {
                    attachment.converted = *known;
                    continue;
                }
            }
            auto queued = jobOf.constFind(attachment.filePath);
            if (queued == jobOf.constEnd()) {
                queued = jobOf.insert(attachment.filePath, static_cast<int>(jobs.size()));
                jobs.push_back({attachment.filePath, handling, hasPreview, {}});
            }
            targets.emplace_back(&attachment, *queued);
        }
    }
    if (jobs.empty())
        return;
    std::atomic<int> finished{0};
    const int total = static_cast<int>(jobs.size());
    pool.run(total, [&](int i) {
        Job& job = jobs[static_cast<size_t>(i)];
        if (!cancelled())
            job.result = convertFile(job.path, job.handling, job.hasPreview);
        const int count = ++finished;
        if (progress)
            progress(count, total);
    });
    std::lock_guard<std::mutex> lock(mutex);
    for (const Job& job : jobs) {
        if (!job.result.isEmpty())
            done.insert(job.path, job.result);
    }
    for (const auto& target : targets)
        target.first->converted = jobs[static_cast<size_t>(target.second)].result;
}

ConvertedMediaView MediaConverter::convertFile(const QString& path, Handling handling, bool hasPreview)
{
    const QString key = MediaCache::keyOf(path);
    if (key.isEmpty()) {
        ++notConverted;
        return ConvertedMediaView();
    }
    ConvertedMediaView media;
    if (cache.find(key, &media)) {
        ++fromCache;
        return media;
    }
    switch (handling) {
    case Handling::Picture:
    case Handling::BrowserPicture:
        media = convertPicture(path, key, handling == Handling::BrowserPicture, hasPreview);
        break;
    case Handling::Audio:
        media = convertAudio(path, key);
        break;
    case Handling::Video:
        media = convertVideo(path, key);
        break;
    case Handling::None:
        break;
    }
    // An interrupted conversion has nothing to keep.
    if (media.isEmpty() || cancelled())
        return ConvertedMediaView();
    // Nothing was made: the original shows as it is.
    if (media.path.isEmpty() && media.thumbnail.isEmpty() && media.note.isEmpty())
        return media;
    QString error;
    if (!cache.store(key, media, &error))
        return ConvertedMediaView();
    if (media.note.isEmpty())
        ++made;
    else
        ++notConverted;
    return media;
}

ConvertedMediaView MediaConverter::convertPicture(const QString& path, const QString& key, bool browserReadable,
                                                  bool hasPreview)
{
    const auto kind = ConvertedMediaView::Kind::Image;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ConvertedMediaView();
    if (file.size() > limits.maxPictureBytes)
        return noted(kind, QStringLiteral("picture too large to convert"));
    const QByteArray data = file.readAll();
    const ImageConverter images(limits);
    ConvertedMediaView media;
    media.kind = kind;
    if (browserReadable) {
        // A browser shows the original; it needs a thumbnail only when it is
        // large and the device made no preview of it.
        int width = 0;
        int height = 0;
        if (!images.peekSize(data, &width, &height))
            return ConvertedMediaView();
        media.width = width;
        media.height = height;
        if (hasPreview || qMax(width, height) <= limits.thumbnailSide)
            return media;
    }
    QString note;
    const QImage image = images.decode(data, &note, browserReadable ? limits.thumbnailSide : 0);
    if (image.isNull())
        return noted(kind, note);
    if (cancelled())
        return ConvertedMediaView();
    if (!browserReadable) {
        media.width = image.width();
        media.height = image.height();
        const QByteArray full = ImageConverter::encode(image);
        const bool png = ImageConverter::needsPng(image);
        media.mimeType = png ? QStringLiteral("image/png") : QStringLiteral("image/jpeg");
        media.path = MediaCache::fileName(key, png ? QStringLiteral(".png") : QStringLiteral(".jpg"));
        if (full.isEmpty() || !write(media.path, full, &note))
            return note.isEmpty() ? ConvertedMediaView() : noted(kind, note);
    }
    const QImage small = ImageConverter::scaled(image, limits.thumbnailSide);
    if (!browserReadable && small.size() == image.size()) {
        media.thumbnail = media.path;
        return media;
    }
    if (cancelled())
        return ConvertedMediaView();
    const bool png = ImageConverter::needsPng(small);
    media.thumbnail = MediaCache::fileName(key, png ? QStringLiteral("-thumb.png") : QStringLiteral("-thumb.jpg"));
    const QByteArray thumbnail = ImageConverter::encode(small);
    if (thumbnail.isEmpty() || !write(media.thumbnail, thumbnail, &note))
        return note.isEmpty() ? ConvertedMediaView() : noted(kind, note);
    return media;
}

ConvertedMediaView MediaConverter::convertAudio(const QString& path, const QString& key)
{
    const auto kind = ConvertedMediaView::Kind::Audio;
    AvInput input(cancelled);
    QString note;
    if (!input.openFile(path, &note))
        return noted(kind, note);
    const AudioConverter audio(limits);
    const AudioConverter::Plan plan = audio.plan(input);
    if (!plan.note.isEmpty())
        return noted(kind, plan.note);
    ConvertedMediaView media;
    media.kind = kind;
    media.path = MediaCache::fileName(key, plan.suffix);
    media.mimeType = plan.mimeType;
    QString error;
    const bool written = output.writeFile(
        media.path,
        [&](QIODevice& device) { return audio.convert(input, plan, device, &media.durationMs, &note) && !cancelled(); },
        &error);
    if (!written)
        return cancelled() ? ConvertedMediaView() : noted(kind, error.isEmpty() ? note : error);
    return media;
}

ConvertedMediaView MediaConverter::convertVideo(const QString& path, const QString& key)
{
    const auto kind = ConvertedMediaView::Kind::Video;
    const VideoConverter video(limits);
    ConvertedMediaView media;
    media.kind = kind;
    QString note;
    {
        AvInput input(cancelled);
        if (!input.openFile(path, &note))
            return noted(kind, note);
        media.durationMs = input.durationMs();
        const QImage poster = video.poster(input, &note);
        if (poster.isNull())
            return cancelled() ? ConvertedMediaView() : noted(kind, note);
        media.width = poster.width();
        media.height = poster.height();
        const QImage small = ImageConverter::scaled(poster, limits.thumbnailSide);
        media.thumbnail = MediaCache::fileName(key, QStringLiteral("-poster.jpg"));
        if (!write(media.thumbnail, ImageConverter::encode(small), &note))
            return note.isEmpty() ? ConvertedMediaView() : noted(kind, note);
    }
    AvInput input(cancelled);
    if (!input.openFile(path, &note))
        return noted(kind, note);
    const std::vector<int> streams = VideoConverter::playableStreams(input);
    if (streams.empty())
        return media; // the poster links to the original
    const QString mp4 = MediaCache::fileName(key, QStringLiteral(".mp4"));
    QString error;
    const bool written = output.writeFile(
        mp4, [&](QIODevice& device) { return video.toMp4(input, streams, device, &note) && !cancelled(); }, &error);
    if (!written)
        return cancelled() ? ConvertedMediaView() : media; // still the poster, linking the original
    media.path = mp4;
    media.mimeType = QStringLiteral("video/mp4");
    return media;
}

bool MediaConverter::write(const QString& relativePath, const QByteArray& bytes, QString* note)
{
    QString error;
    const bool written = output.writeFile(
        relativePath,
        [&](QIODevice& device) { return !cancelled() && device.write(bytes) == bytes.size() && !cancelled(); }, &error);
    if (!written && !error.isEmpty())
        *note = QStringLiteral("could not be written: %1").arg(error);
    return written;
}
