#include "platform/picturecodec_qt.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <limits>

namespace galvorn::platform {

namespace {

// A view of the bytes for Qt's readers: no copy, valid while `encoded` lives.
QByteArray viewOf(std::span<const std::uint8_t> encoded)
{
    if (encoded.size() > static_cast<std::size_t>(std::numeric_limits<qsizetype>::max()))
        return {};
    return QByteArray::fromRawData(reinterpret_cast<const char*>(encoded.data()),
                                   static_cast<qsizetype>(encoded.size()));
}

// The whole picture decoded; a header alone does not prove a picture, and a corrupt
// body must not reach the device.
std::optional<QImage> decode(std::span<const std::uint8_t> encoded)
{
    QByteArray bytes = viewOf(encoded);
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    return image;
}

} // namespace

std::optional<PictureSize> QtPictureCodec::measure(std::span<const std::uint8_t> encoded) const
{
    const std::optional<QImage> image = decode(encoded);
    if (!image)
        return std::nullopt;
    return PictureSize{image->width(), image->height()};
}

std::optional<JpegPicture> QtPictureCodec::toJpeg(std::span<const std::uint8_t> encoded) const
{
    const std::optional<QImage> image = decode(encoded);
    if (!image)
        return std::nullopt;
    QByteArray jpeg;
    QBuffer output(&jpeg);
    output.open(QIODevice::WriteOnly);
    QImageWriter writer(&output, "jpeg");
    if (!writer.write(*image))
        return std::nullopt;
    JpegPicture picture;
    picture.bytes.assign(jpeg.begin(), jpeg.end());
    picture.size = {image->width(), image->height()};
    return picture;
}

} // namespace galvorn::platform
