#pragma once

#include <QtGlobal>

// How much one attachment may cost to convert. A file past a limit is not
// converted and its bubble says why; the limits keep a hostile or broken
// file from taking unbounded memory or time.
struct MediaLimits
{
    // Pixels of a decoded picture: a 48-megapixel camera photo fits, a
    // decompression bomb does not.
    qint64 maxPixels = 50LL * 1000 * 1000;
    // Either side of a picture or video frame.
    int maxSide = 16384;
    // Size of a picture file, which is read whole (audio and video are read
    // as they are converted).
    qint64 maxPictureBytes = 256LL * 1024 * 1024;
    // Frames decoded while looking for a video's poster.
    int maxPosterFrames = 300;
    // Length of a voice message that is decoded and encoded again.
    qint64 maxTranscodeMs = 4LL * 3600 * 1000;
    // Packets a remux copies; a real file has far fewer for its length.
    qint64 maxPackets = 20LL * 1000 * 1000;
    // Long side of a thumbnail in the pages.
    int thumbnailSide = 1024;

    bool fits(qint64 width, qint64 height) const
    {
        return width > 0 && height > 0 && width <= maxSide && height <= maxSide && width * height <= maxPixels;
    }
};
