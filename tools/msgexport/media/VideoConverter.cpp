#include "VideoConverter.h"

#include "AvInput.h"
#include "AvOutput.h"
#include "AvPointers.h"

#include <QTransform>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <memory>

namespace {

struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

QImage toImage(const AVFrame* frame)
{
    QImage image(frame->width, frame->height, QImage::Format_RGB888);
    if (image.isNull())
        return image;
    std::unique_ptr<SwsContext, ScalerFree> scaler(
        sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                       frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return QImage();
    uint8_t* target[4] = {image.bits(), nullptr, nullptr, nullptr};
    int stride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, target, stride) != frame->height)
        return QImage();
    return image;
}

} // namespace

VideoConverter::VideoConverter(const MediaLimits& limits)
    : limits(limits)
{
}

QImage VideoConverter::poster(AvInput& input, QString* note) const
{
    const int index = input.bestStream(AVMEDIA_TYPE_VIDEO);
    if (index < 0) {
        *note = QStringLiteral("no picture in the video");
        return QImage();
    }
    AVStream* stream = input.format()->streams[index];
    const AVCodecParameters* parameters = stream->codecpar;
    if (!limits.fits(parameters->width, parameters->height)) {
        *note = QStringLiteral("video too large to convert");
        return QImage();
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
        *note = QStringLiteral("video in a codec that cannot be converted");
        return QImage();
    }
    std::unique_ptr<AVCodecContext, CodecFree> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0) {
        *note = QStringLiteral("out of memory");
        return QImage();
    }
    decoder->thread_count = 1; // the pool runs one conversion per core
    decoder->max_pixels = limits.maxPixels;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        *note = QStringLiteral("damaged video");
        return QImage();
    }
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    bool got = false;
    bool ended = false;
    for (int packets = 0; !got && packets < limits.maxPosterFrames && !input.isCancelled();) {
        if (!ended) {
            const int read = av_read_frame(input.format(), packet.get());
            if (read < 0) {
                ended = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                if (packet->stream_index == index) {
                    ++packets;
                    avcodec_send_packet(decoder.get(), packet.get());
                }
                av_packet_unref(packet.get());
            }
        }
        const int result = avcodec_receive_frame(decoder.get(), frame.get());
        if (result >= 0)
            got = true;
        else if (result != AVERROR(EAGAIN) || ended)
            break;
    }
    if (!got || !limits.fits(frame->width, frame->height)) {
        *note = QStringLiteral("damaged video");
        return QImage();
    }
    QImage image = toImage(frame.get());
    if (image.isNull()) {
        *note = QStringLiteral("damaged video");
        return image;
    }
    // Phones film upright by recording sideways and saying how to turn it.
    const auto* matrix =
        reinterpret_cast<const int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix) {
        const double angle = av_display_rotation_get(matrix);
        if (!std::isnan(angle) && std::lround(angle) % 360 != 0)
            image = image.transformed(QTransform().rotate(-angle));
    }
    return image;
}

std::vector<int> VideoConverter::playableStreams(const AvInput& input)
{
    const int video = input.bestStream(AVMEDIA_TYPE_VIDEO);
    if (video < 0 || input.format()->streams[video]->codecpar->codec_id != AV_CODEC_ID_H264)
        return {};
    std::vector<int> streams{video};
    const int audio = input.bestStream(AVMEDIA_TYPE_AUDIO);
    if (audio >= 0) {
        const AVCodecID codec = input.format()->streams[audio]->codecpar->codec_id;
        if (codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_MP3)
            streams.push_back(audio);
    }
    return streams;
}

bool VideoConverter::toMp4(AvInput& input, const std::vector<int>& streams, QIODevice& device, QString* note) const
{
    AvOutput output;
    return output.open("mp4", device, note) && output.copyStreams(input, streams, limits.maxPackets, note);
}
