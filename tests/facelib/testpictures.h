#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>

// Real pictures for the tests of the Qt codec: enough detail that they do not compress to
// nothing, and the same for the same arguments.
inline QImage noisePicture(int width, int height, std::uint32_t seed = 12345)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, seed >> 8);
        }
    return image;
}

// The picture's file bytes in `format` ("JPG", "PNG", "BMP").
inline std::string encodedPicture(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes.toStdString();
}
