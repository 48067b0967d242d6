#include "ImageConverter.h"

#include <QBuffer>
#include <QImageReader>

#include <libheif/heif.h>

#include <memory>

namespace {

struct HeifContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeifHandleFree {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageFree {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct HeifOptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

QString heifNote(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error)
        return QStringLiteral("picture too large to convert");
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        return QStringLiteral("picture in a form that cannot be converted");
    return QStringLiteral("damaged picture");
}

} // namespace

ImageConverter::ImageConverter(const MediaLimits& limits)
    : limits(limits)
{
}

bool ImageConverter::isHeif(const QByteArray& data)
{
    if (data.size() < 12)
        return false;
    const heif_filetype_result type =
        heif_check_filetype(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<int>(qMin(data.size(), 64)));
    return type == heif_filetype_yes_supported || type == heif_filetype_maybe;
}

QImage ImageConverter::decode(const QByteArray& data, QString* note, int maxSide) const
{
    if (data.size() > limits.maxPictureBytes) {
        *note = QStringLiteral("picture too large to convert");
        return QImage();
    }
    return isHeif(data) ? decodeHeif(data, note) : decodeOther(data, note, maxSide);
}

bool ImageConverter::peekSize(const QByteArray& data, int* width, int* height) const
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid())
        return false;
    // A quarter turn swaps the sides.
    const bool turned = (reader.transformation() & QImageIOHandler::TransformationRotate90) != 0;
    *width = turned ? size.height() : size.width();
    *height = turned ? size.width() : size.height();
    return true;
}

QImage ImageConverter::decodeHeif(const QByteArray& data, QString* note) const
{
    std::unique_ptr<heif_context, HeifContextFree> context(heif_context_alloc());
    if (!context) {
        *note = QStringLiteral("picture too large to convert");
        return QImage();
    }
    // libheif refuses larger images itself, before it allocates anything for them.
    heif_context_set_maximum_image_size_limit(context.get(), limits.maxSide);
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), data.constData(),
                                                                  static_cast<size_t>(data.size()), nullptr);
    if (error.code != heif_error_Ok) {
        *note = heifNote(error);
        return QImage();
    }
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    std::unique_ptr<heif_image_handle, HeifHandleFree> handle(rawHandle);
    if (error.code != heif_error_Ok || !handle) {
        *note = heifNote(error);
        return QImage();
    }
    // The stored size (before rotation) and the shown one must both fit: a grid
    // of tiles says its whole size up front.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (!limits.fits(width, height)
        || !limits.fits(heif_image_handle_get_ispe_width(handle.get()), heif_image_handle_get_ispe_height(handle.get()))) {
        *note = width > 0 && height > 0
                    ? QStringLiteral("picture too large to convert (%1 \u00D7 %2)").arg(width).arg(height)
                    : QStringLiteral("damaged picture");
        return QImage();
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    std::unique_ptr<heif_decoding_options, HeifOptionsFree> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<heif_image, HeifImageFree> image(rawImage);
    if (error.code != heif_error_Ok || !image) {
        *note = heifNote(error);
        return QImage();
    }
    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int decodedWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || stride % 4 != 0 || !limits.fits(decodedWidth, decodedHeight)) {
        *note = QStringLiteral("damaged picture");
        return QImage();
    }
    // The image keeps libheif's pixels and releases them with itself: a copy
    // of a 12-megapixel photo is 36 MB more to allocate, fault in and fill.
    heif_image* owned = image.release();
    return QImage(
        pixels, decodedWidth, decodedHeight, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void* info) { heif_image_release(static_cast<heif_image*>(info)); }, owned);
}

QImage ImageConverter::decodeOther(const QByteArray& data, QString* note, int maxSide) const
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid()) {
        *note = reader.canRead() ? QStringLiteral("damaged picture") : QStringLiteral("picture in a form that cannot be converted");
        return QImage();
    }
    if (!limits.fits(size.width(), size.height())) {
        *note = QStringLiteral("picture too large to convert (%1 \u00D7 %2)").arg(size.width()).arg(size.height());
        return QImage();
    }
    // JPEG decodes straight to a smaller scale, which a thumbnail wants.
    if (maxSide > 0 && qMax(size.width(), size.height()) > 2 * maxSide
        && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(size.scaled(2 * maxSide, 2 * maxSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        *note = QStringLiteral("damaged picture");
    return image;
}

QImage ImageConverter::scaled(const QImage& image, int side)
{
    if (qMax(image.width(), image.height()) <= side)
        return image;
    // Smooth scaling reads every source pixel for each target one it blends;
    // a fast pass down to twice the size first costs little and looks the same.
    if (qMax(image.width(), image.height()) > 3 * side)
        return image.scaled(2 * side, 2 * side, Qt::KeepAspectRatio, Qt::FastTransformation)
            .scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool ImageConverter::needsPng(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    // A photo decoded with an alpha channel that is opaque everywhere stays a JPEG.
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* line = rgba.constScanLine(y);
        for (int x = 0; x < rgba.width(); ++x) {
            if (line[4 * x + 3] != 0xff)
                return true;
        }
    }
    return false;
}

QByteArray ImageConverter::encode(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool png = needsPng(image);
    const QImage opaque = png ? image : image.convertToFormat(QImage::Format_RGB888);
    if (!opaque.save(&buffer, png ? "PNG" : "JPEG", png ? -1 : 85))
        return QByteArray();
    return bytes;
}
