#pragma once

#include <QString>

#include <vector>

class AvInput;
struct AVFormatContext;
struct AVIOContext;
class QIODevice;

// A muxer that writes into a device, the file OutputFolder hands out, so
// that a movie or voice message grows under a temporary name like every
// other file of the export.
class AvOutput
{
public:
    AvOutput() = default;
    ~AvOutput();

    AvOutput(const AvOutput&) = delete;
    AvOutput& operator=(const AvOutput&) = delete;

    // container: a muxer name ("mp4", "ogg").
    bool open(const char* container, QIODevice& device, QString* note);
    AVFormatContext* format() const { return context; }

    // Copies the given streams of input without decoding them, header to
    // trailer; at most maxPackets packets. False, with *note, when the
    // container refuses a codec or the input is damaged or cancelled.
    bool copyStreams(AvInput& input, const std::vector<int>& streams, qint64 maxPackets, QString* note);

private:
    static int writeBytes(void* opaque, uint8_t* buffer, int size);
    static int64_t seekBytes(void* opaque, int64_t offset, int whence);

    AVFormatContext* context = nullptr;
    AVIOContext* io = nullptr;
    QIODevice* device = nullptr;
};
