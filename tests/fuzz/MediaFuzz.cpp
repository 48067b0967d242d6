// msgexport's media paths on arbitrary files: the first byte picks the path
// (even: a picture through libheif or Qt's readers, then scaled and
// encoded; odd: an audio or video file through FFmpeg's demuxers, converted
// as a voice message into memory, then a video poster). Limits are tighter
// than msgexport's own so that each input stays quick.
#include "AudioConverter.h"
#include "AvInput.h"
#include "ImageConverter.h"
#include "VideoConverter.h"

#include <QBuffer>
#include <QCoreApplication>

extern "C" {
#include <libavutil/log.h>
}

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "media_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv); // Qt's image format plugins
    av_log_set_level(AV_LOG_QUIET);
    if (size < 1)
        return 0;
    MediaLimits limits;
    limits.maxPixels = 4 * 1000 * 1000;
    limits.maxSide = 4096;
    limits.maxPackets = 2000;
    limits.maxPosterFrames = 30;
    limits.maxTranscodeMs = 60 * 1000;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data) + 1, static_cast<int>(size - 1));
    QString note;
    if (data[0] % 2 == 0) {
        const ImageConverter images(limits);
        int width = 0;
        int height = 0;
        images.peekSize(bytes, &width, &height);
        const QImage image = images.decode(bytes, &note, (data[0] & 2) != 0 ? 256 : 0);
        if (!image.isNull())
            ImageConverter::encode(ImageConverter::scaled(image, 64));
        return 0;
    }
    {
        AvInput input;
        if (input.openBytes(bytes, &note)) {
            const AudioConverter audio(limits);
            const AudioConverter::Plan plan = audio.plan(input);
            if (plan.note.isEmpty()) {
                QBuffer output;
                output.open(QIODevice::ReadWrite);
                qint64 duration = 0;
                audio.convert(input, plan, output, &duration, &note);
            }
        }
    }
    AvInput input;
    if (input.openBytes(bytes, &note)) {
        const VideoConverter video(limits);
        const QImage poster = video.poster(input, &note);
        if (!poster.isNull() && !VideoConverter::playableStreams(input).empty()) {
            AvInput again;
            QBuffer output;
            output.open(QIODevice::ReadWrite);
            if (again.openBytes(bytes, &note))
                video.toMp4(again, VideoConverter::playableStreams(again), output, &note);
        }
    }
    return 0;
}
