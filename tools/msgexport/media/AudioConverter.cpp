#include "AudioConverter.h"

#include "AvInput.h"
#include "AvOutput.h"
#include "AvPointers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <memory>

namespace {

struct ResamplerFree {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct FifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

const AVCodec* opusEncoder()
{
    return avcodec_find_encoder_by_name("libopus");
}

// Sends frame (null: the end) to the encoder and muxes what comes out.
bool encode(AVCodecContext* encoder, AVFrame* frame, AVFormatContext* format, AVStream* stream)
{
    if (avcodec_send_frame(encoder, frame) < 0)
        return false;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    for (;;) {
        const int result = avcodec_receive_packet(encoder, packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return false;
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet.get()) < 0)
            return false;
    }
}

} // namespace

AudioConverter::AudioConverter(const MediaLimits& limits)
    : limits(limits)
{
}

AudioConverter::Plan AudioConverter::plan(const AvInput& input) const
{
    Plan plan;
    plan.stream = input.bestStream(AVMEDIA_TYPE_AUDIO);
    if (plan.stream < 0) {
        plan.note = QStringLiteral("no sound in the file");
        return plan;
    }
    const AVCodecParameters* parameters = input.format()->streams[plan.stream]->codecpar;
    switch (parameters->codec_id) {
    case AV_CODEC_ID_OPUS:
        plan = Plan{plan.stream, true, "ogg", QStringLiteral(".ogg"), QStringLiteral("audio/ogg"), QString()};
        return plan;
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_MP3:
        plan = Plan{plan.stream, true, "mp4", QStringLiteral(".m4a"), QStringLiteral("audio/mp4"), QString()};
        return plan;
    default:
        break;
    }
    if (!avcodec_find_decoder(parameters->codec_id)) {
        plan.note = QStringLiteral("sound in a codec that cannot be converted");
        return plan;
    }
    if (input.durationMs() > limits.maxTranscodeMs) {
        plan.note = QStringLiteral("recording too long to convert");
        return plan;
    }
    if (opusEncoder())
        plan = Plan{plan.stream, false, "ogg", QStringLiteral(".ogg"), QStringLiteral("audio/ogg"), QString()};
    else
        plan = Plan{plan.stream, false, "mp4", QStringLiteral(".m4a"), QStringLiteral("audio/mp4"), QString()};
    return plan;
}

bool AudioConverter::convert(AvInput& input, const Plan& plan, QIODevice& device, qint64* durationMs,
                             QString* note) const
{
    *durationMs = input.durationMs();
    if (!plan.copy)
        return transcode(input, plan, device, durationMs, note);
    AvOutput output;
    return output.open(plan.container, device, note) && output.copyStreams(input, {plan.stream}, limits.maxPackets, note);
}

bool AudioConverter::transcode(AvInput& input, const Plan& plan, QIODevice& device, qint64* durationMs,
                               QString* note) const
{
    const auto failed = [note](const char* why) {
        *note = QString::fromLatin1(why);
        return false;
    };
    AVStream* source = input.format()->streams[plan.stream];
    const AVCodec* decoderCodec = avcodec_find_decoder(source->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, CodecFree> decoder(avcodec_alloc_context3(decoderCodec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), source->codecpar) < 0)
        return failed("out of memory");
    decoder->thread_count = 1; // the pool runs one conversion per core
    if (avcodec_open2(decoder.get(), decoderCodec, nullptr) < 0 || decoder->ch_layout.nb_channels < 1
        || decoder->sample_rate <= 0)
        return failed("damaged sound");

    const bool opus = std::strcmp(plan.container, "ogg") == 0;
    const AVCodec* encoderCodec = opus ? opusEncoder() : avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!encoderCodec)
        return failed("no encoder for the sound");
    std::unique_ptr<AVCodecContext, CodecFree> encoder(avcodec_alloc_context3(encoderCodec));
    if (!encoder)
        return failed("out of memory");
    const int channels = qMin(decoder->ch_layout.nb_channels, 2);
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->sample_rate = opus ? 48000 : qBound(8000, decoder->sample_rate, 48000);
    encoder->sample_fmt = opus ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    encoder->bit_rate = opus ? 32000 : 64000;
    encoder->time_base = AVRational{1, encoder->sample_rate};
    encoder->thread_count = 1;
    encoder->flags |= AV_CODEC_FLAG_BITEXACT;

    AvOutput output;
    if (!output.open(plan.container, device, note))
        return false;
    AVFormatContext* format = output.format();
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder.get(), encoderCodec, nullptr) < 0)
        return failed("no encoder for the sound");
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0)
        return failed("out of memory");
    stream->time_base = encoder->time_base;
    if (avformat_write_header(format, nullptr) < 0)
        return failed("sound in a form that cannot be converted");

    SwrContext* rawResampler = nullptr;
    if (swr_alloc_set_opts2(&rawResampler, &encoder->ch_layout, encoder->sample_fmt, encoder->sample_rate,
                            &decoder->ch_layout, decoder->sample_fmt, decoder->sample_rate, 0, nullptr) < 0)
        return failed("sound in a form that cannot be converted");
    std::unique_ptr<SwrContext, ResamplerFree> resampler(rawResampler);
    if (swr_init(resampler.get()) < 0)
        return failed("sound in a form that cannot be converted");
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo(av_audio_fifo_alloc(encoder->sample_fmt, channels, frameSize * 2));
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> decoded(av_frame_alloc());
    std::unique_ptr<AVFrame, FrameFree> converted(av_frame_alloc());
    std::unique_ptr<AVFrame, FrameFree> chunk(av_frame_alloc());
    if (!fifo || !packet || !decoded || !converted || !chunk)
        return failed("out of memory");
    const qint64 maxSamples = limits.maxTranscodeMs * encoder->sample_rate / 1000;
    qint64 written = 0;

    // Moves whole frames (every sample at the end) from the queue to the encoder.
    const auto drain = [&](bool all) {
        while (av_audio_fifo_size(fifo.get()) >= frameSize || (all && av_audio_fifo_size(fifo.get()) > 0)) {
            const int count = qMin(frameSize, av_audio_fifo_size(fifo.get()));
            av_frame_unref(chunk.get());
            chunk->nb_samples = count;
            chunk->format = encoder->sample_fmt;
            chunk->sample_rate = encoder->sample_rate;
            if (av_channel_layout_copy(&chunk->ch_layout, &encoder->ch_layout) < 0
                || av_frame_get_buffer(chunk.get(), 0) < 0
                || av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(chunk->data), count) < count)
                return false;
            chunk->pts = written;
            written += count;
            if (!encode(encoder.get(), chunk.get(), format, stream))
                return false;
        }
        return true;
    };
    // Resamples what the decoder has ready (or, with no frame, what the resampler holds).
    const auto take = [&](const AVFrame* frame) {
        av_frame_unref(converted.get());
        converted->format = encoder->sample_fmt;
        converted->sample_rate = encoder->sample_rate;
        if (av_channel_layout_copy(&converted->ch_layout, &encoder->ch_layout) < 0)
            return false;
        const int room = swr_get_out_samples(resampler.get(), frame ? frame->nb_samples : 0);
        if (room < 0)
            return false;
        if (room == 0)
            return true;
        converted->nb_samples = room;
        if (av_frame_get_buffer(converted.get(), 0) < 0)
            return false;
        const int made = swr_convert(resampler.get(), converted->data, room,
                                     frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                     frame ? frame->nb_samples : 0);
        if (made < 0 || av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted->data), made) < made)
            return false;
        return drain(false);
    };
    const auto receive = [&]() {
        for (;;) {
            const int result = avcodec_receive_frame(decoder.get(), decoded.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0 || !take(decoded.get()))
                return false;
            av_frame_unref(decoded.get());
            if (written > maxSamples)
                return false;
        }
    };

    for (;;) {
        if (input.isCancelled())
            return false;
        const int read = av_read_frame(input.format(), packet.get());
        if (read == AVERROR_EOF)
            break;
        if (read < 0)
            return failed("damaged sound");
        if (packet->stream_index == plan.stream) {
            // A damaged packet is skipped, as a player would; the rest still plays.
            if (avcodec_send_packet(decoder.get(), packet.get()) >= 0 && !receive()) {
                av_packet_unref(packet.get());
                return failed(written > maxSamples ? "recording too long to convert" : "damaged sound");
            }
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (!receive() || !take(nullptr) || !drain(true) || !encode(encoder.get(), nullptr, format, stream))
        return failed("damaged sound");
    if (written == 0)
        return failed("no sound in the file");
    if (av_write_trailer(format) < 0)
        return failed("damaged sound");
    *durationMs = written * 1000 / encoder->sample_rate;
    return true;
}
