#pragma once

#include "MediaLimits.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes pictures into images a page can show: HEIC and HEIF (camera
// photos, stickers with transparency) with libheif, other formats with Qt's
// readers. The orientation the file records is applied. Every size is checked
// against the limits before a pixel is decoded.
class ImageConverter
{
public:
    explicit ImageConverter(const MediaLimits& limits);

    // Whether data looks like a HEIF file (HEIC, AVIF and their sequences).
    static bool isHeif(const QByteArray& data);

    // The picture in data, oriented; a null image, with the reason in *note,
    // when it cannot be decoded or is past the limits. maxSide, when above 0,
    // lets a reader that can decode at a smaller scale do so.
    QImage decode(const QByteArray& data, QString* note, int maxSide = 0) const;
    // The picture's size without decoding it; false when it is unreadable.
    bool peekSize(const QByteArray& data, int* width, int* height) const;

    // Scaled down so that its long side is at most side.
    static QImage scaled(const QImage& image, int side);
    // JPEG, or PNG where the image has transparency.
    static QByteArray encode(const QImage& image);
    static bool needsPng(const QImage& image);

private:
    QImage decodeHeif(const QByteArray& data, QString* note) const;
    QImage decodeOther(const QByteArray& data, QString* note, int maxSide) const;

    MediaLimits limits;
};
