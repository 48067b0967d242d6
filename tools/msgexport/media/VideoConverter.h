#pragma once

#include "MediaLimits.h"

#include <QImage>
#include <QString>

#include <vector>

class AvInput;
class QIODevice;

// Videos for the pages: a poster from an early frame, and H.264 (with its
// AAC or MP3 sound) copied from QuickTime's container into MP4 without being
// decoded. Other codecs (HEVC) keep their poster only: browsers may not
// decode them.
class VideoConverter
{
public:
    explicit VideoConverter(const MediaLimits& limits);

    // The first picture of the video, turned as the file says it is shown.
    QImage poster(AvInput& input, QString* note) const;
    // The streams an MP4 for browsers takes; empty when the video's codec is
    // not one every browser decodes.
    static std::vector<int> playableStreams(const AvInput& input);
    bool toMp4(AvInput& input, const std::vector<int>& streams, QIODevice& device, QString* note) const;

private:
    MediaLimits limits;
};
