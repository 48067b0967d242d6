#include "AvInput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include <cstring>

namespace {

// What a phone sends: QuickTime and MP4 movies, CAF and AMR voice messages,
// and the usual audio files.
const char* const containers = "mov,caf,amr,wav,aiff,mp3,ogg,matroska,webm,aac,flac";

} // namespace

AvInput::AvInput(std::function<bool()> cancelled)
    : cancelled(std::move(cancelled))
{
}

AvInput::~AvInput()
{
    avformat_close_input(&context);
    if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

int AvInput::interrupted(void* opaque)
{
    return static_cast<AvInput*>(opaque)->isCancelled() ? 1 : 0;
}

bool AvInput::openFile(const QString& path, QString* note)
{
    // "file:" keeps a name with a colon from being taken for a protocol.
    return open((QStringLiteral("file:") + path).toUtf8().constData(), note);
}

int AvInput::readBytes(void* opaque, uint8_t* buffer, int size)
{
    auto* self = static_cast<AvInput*>(opaque);
    const qint64 left = self->bytes->size() - self->position;
    if (left <= 0)
        return AVERROR_EOF;
    const int count = static_cast<int>(qMin<qint64>(left, size));
    std::memcpy(buffer, self->bytes->constData() + self->position, static_cast<size_t>(count));
    self->position += count;
    return count;
}

int64_t AvInput::seekBytes(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<AvInput*>(opaque);
    const qint64 size = self->bytes->size();
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += self->position;
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return -1;
    }
    if (offset < 0 || offset > size)
        return -1;
    self->position = offset;
    return offset;
}

bool AvInput::openBytes(const QByteArray& data, QString* note)
{
    bytes = &data;
    position = 0;
    constexpr int bufferSize = 32 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (!buffer) {
        *note = QStringLiteral("out of memory");
        return false;
    }
    io = avio_alloc_context(buffer, bufferSize, 0, this, &AvInput::readBytes, nullptr, &AvInput::seekBytes);
    if (!io) {
        av_free(buffer);
        *note = QStringLiteral("out of memory");
        return false;
    }
    return open(nullptr, note);
}

bool AvInput::open(const char* url, QString* note)
{
    context = avformat_alloc_context();
    if (!context) {
        *note = QStringLiteral("out of memory");
        return false;
    }
    context->interrupt_callback.callback = &AvInput::interrupted;
    context->interrupt_callback.opaque = this;
    if (io) {
        context->pb = io;
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", containers, 0);
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // A reference to another file (QuickTime's external data) is not followed.
    av_dict_set(&options, "enable_drefs", "0", 0);
    const int result = avformat_open_input(&context, url, nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        // avformat_open_input frees the context on failure.
        *note = result == AVERROR_INVALIDDATA ? QStringLiteral("damaged or unknown media file")
                                              : QStringLiteral("media file that cannot be read");
        return false;
    }
    // The stream details; a few seconds of packets at most are read for them.
    context->max_analyze_duration = 5 * AV_TIME_BASE;
    if (avformat_find_stream_info(context, nullptr) < 0) {
        *note = QStringLiteral("damaged media file");
        return false;
    }
    return true;
}

int AvInput::bestStream(int mediaType) const
{
    const int index = av_find_best_stream(context, static_cast<AVMediaType>(mediaType), -1, -1, nullptr, 0);
    return index < 0 ? -1 : index;
}

qint64 AvInput::durationMs() const
{
    if (!context || context->duration == AV_NOPTS_VALUE || context->duration <= 0)
        return 0;
    return context->duration / 1000;
}
