#include "AvOutput.h"

#include "AvInput.h"
#include "AvPointers.h"

#include <QIODevice>

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/mem.h>
}

#include <memory>

namespace {

// CAF keeps no Opus header of its own; Ogg needs one: the identification
// header of RFC 7845 for a plain mono or stereo stream.
bool addOpusHead(AVCodecParameters* parameters)
{
    const int channels = parameters->ch_layout.nb_channels;
    if (channels < 1 || channels > 2)
        return false;
    auto* head = static_cast<uint8_t*>(av_mallocz(19 + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!head)
        return false;
    std::memcpy(head, "OpusHead", 8);
    head[8] = 1;
    head[9] = static_cast<uint8_t>(channels);
    AV_WL16(head + 10, parameters->initial_padding > 0 ? parameters->initial_padding : 312);
    AV_WL32(head + 12, 48000);
    parameters->extradata = head;
    parameters->extradata_size = 19;
    return true;
}

} // namespace

AvOutput::~AvOutput()
{
    if (context) {
        context->pb = nullptr;
        avformat_free_context(context);
    }
    if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

int AvOutput::writeBytes(void* opaque, uint8_t* buffer, int size)
{
    auto* device = static_cast<AvOutput*>(opaque)->device;
    return device->write(reinterpret_cast<const char*>(buffer), size) == size ? size : AVERROR(EIO);
}

int64_t AvOutput::seekBytes(void* opaque, int64_t offset, int whence)
{
    auto* device = static_cast<AvOutput*>(opaque)->device;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return device->size();
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += device->pos();
        break;
    case SEEK_END:
        offset += device->size();
        break;
    default:
        return -1;
    }
    return offset >= 0 && device->seek(offset) ? offset : -1;
}

bool AvOutput::open(const char* container, QIODevice& target, QString* note)
{
    device = &target;
    if (avformat_alloc_output_context2(&context, nullptr, container, nullptr) < 0 || !context) {
        *note = QStringLiteral("no %1 writer in this build of FFmpeg").arg(QLatin1String(container));
        return false;
    }
    constexpr int bufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (buffer)
        io = avio_alloc_context(buffer, bufferSize, 1, this, nullptr, &AvOutput::writeBytes, &AvOutput::seekBytes);
    if (!io) {
        av_free(buffer);
        *note = QStringLiteral("out of memory");
        return false;
    }
    context->pb = io;
    // Bit-exact: no random stream serials, so that the same export makes the same files.
    context->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    return true;
}

bool AvOutput::copyStreams(AvInput& input, const std::vector<int>& streams, qint64 maxPackets, QString* note)
{
    AVFormatContext* in = input.format();
    std::vector<int> outputOf(in->nb_streams, -1);
    for (int index : streams) {
        const AVStream* source = in->streams[index];
        AVStream* stream = avformat_new_stream(context, nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
            *note = QStringLiteral("out of memory");
            return false;
        }
        stream->codecpar->codec_tag = 0; // the new container's own
        stream->time_base = source->time_base;
        if (stream->codecpar->codec_id == AV_CODEC_ID_OPUS && stream->codecpar->extradata_size == 0
            && !addOpusHead(stream->codecpar)) {
            *note = QStringLiteral("audio in a form that cannot be converted");
            return false;
        }
        outputOf[static_cast<size_t>(index)] = stream->index;
    }
    if (avformat_write_header(context, nullptr) < 0) {
        *note = QStringLiteral("media in a codec that cannot be converted");
        return false;
    }
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    qint64 packets = 0;
    for (;;) {
        if (input.isCancelled())
            return false;
        const int read = av_read_frame(in, packet.get());
        if (read == AVERROR_EOF)
            break;
        if (read < 0) {
            *note = QStringLiteral("damaged media file");
            return false;
        }
        const int target = packet->stream_index < static_cast<int>(outputOf.size())
                               ? outputOf[static_cast<size_t>(packet->stream_index)]
                               : -1;
        if (target < 0) {
            av_packet_unref(packet.get());
            continue;
        }
        if (++packets > maxPackets) {
            *note = QStringLiteral("media file too long to convert");
            return false;
        }
        av_packet_rescale_ts(packet.get(), in->streams[packet->stream_index]->time_base,
                             context->streams[target]->time_base);
        packet->stream_index = target;
        packet->pos = -1;
        if (av_interleaved_write_frame(context, packet.get()) < 0) {
            *note = QStringLiteral("damaged media file");
            return false;
        }
    }
    if (av_write_trailer(context) < 0) {
        *note = QStringLiteral("damaged media file");
        return false;
    }
    return true;
}
