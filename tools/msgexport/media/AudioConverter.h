#pragma once

#include "MediaLimits.h"

#include <QString>

class AvInput;
class QIODevice;

// Turns a voice message into a file browsers play. Opus is copied into Ogg
// and AAC or MP3 into MP4 without being decoded; anything else FFmpeg can
// decode (AMR, PCM, ...) is encoded again as Opus in Ogg (AAC in MP4 where
// this FFmpeg has no Opus encoder).
class AudioConverter
{
public:
    struct Plan {
        int stream = -1;
        bool copy = false;
        const char* container = nullptr; // muxer name
        QString suffix;                  // of the converted file
        QString mimeType;
        QString note; // why it cannot be converted
    };

    explicit AudioConverter(const MediaLimits& limits);

    Plan plan(const AvInput& input) const;
    // Writes the audio to device as planned; *durationMs is its length.
    bool convert(AvInput& input, const Plan& plan, QIODevice& device, qint64* durationMs, QString* note) const;

private:
    bool transcode(AvInput& input, const Plan& plan, QIODevice& device, qint64* durationMs, QString* note) const;

    MediaLimits limits;
};
