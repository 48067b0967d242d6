#pragma once

#include "MediaLimits.h"

#include <QByteArray>
#include <QString>

#include <functional>

struct AVFormatContext;
struct AVIOContext;

// An audio or video file opened with FFmpeg's demuxers, restricted to the
// containers a device sends (QuickTime, MP4, CAF, AMR, ...) and to reading
// local files: a playlist naming other files or addresses is refused.
class AvInput
{
public:
    explicit AvInput(std::function<bool()> cancelled = {});
    ~AvInput();

    AvInput(const AvInput&) = delete;
    AvInput& operator=(const AvInput&) = delete;

    // False, with a short reason in *note, when the file is not a known
    // container or is damaged.
    bool openFile(const QString& path, QString* note);
    // The same from memory (data must outlive this object).
    bool openBytes(const QByteArray& data, QString* note);

    AVFormatContext* format() const { return context; }
    // Index of the best stream of the type (AVMEDIA_TYPE_*), or -1.
    int bestStream(int mediaType) const;
    // Length in milliseconds as the container says it; 0 when it does not.
    qint64 durationMs() const;
    bool isCancelled() const { return cancelled && cancelled(); }

private:
    bool open(const char* url, QString* note);
    static int readBytes(void* opaque, uint8_t* buffer, int size);
    static int64_t seekBytes(void* opaque, int64_t offset, int whence);
    static int interrupted(void* opaque);

    std::function<bool()> cancelled;
    AVFormatContext* context = nullptr;
    AVIOContext* io = nullptr;
    const QByteArray* bytes = nullptr;
    qint64 position = 0;
};
