#pragma once

#include "facelib/personinfo.h"
#include "platform/picturecodec.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

// A picture codec for tests that need no image library. A "picture" is FF D8, a width and
// a height byte, then any body; "FAKE" and the same fields stand for a picture in another
// format. Re-encoding gives FF D8, the size bytes and the body's first 64 bytes. Every
// call is counted; `delay` stands in for the time a real codec spends.
class TestCodec : public galvorn::platform::PictureCodec
{
public:
    std::optional<galvorn::platform::PictureSize>
    measure(std::span<const std::uint8_t> encoded) const override
    {
        ++measures;
        work();
        return sizeOf(encoded);
    }

    std::optional<galvorn::platform::JpegPicture>
    toJpeg(std::span<const std::uint8_t> encoded) const override
    {
        ++encodes;
        work();
        const auto size = sizeOf(encoded);
        if (!size)
            return std::nullopt;
        galvorn::platform::JpegPicture jpeg;
        jpeg.size = *size;
        const std::size_t kept = std::min<std::size_t>(encoded.size(), 4 + 64);
        jpeg.bytes.assign(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(kept));
        jpeg.bytes[0] = 0xFF;
        jpeg.bytes[1] = 0xD8;
        return jpeg;
    }

    // A JPEG-like picture of `bytes` bytes in total.
    static std::string jpeg(std::uint8_t width, std::uint8_t height, std::size_t bytes)
    {
        std::string picture = {'\xFF', '\xD8', static_cast<char>(width), static_cast<char>(height)};
        picture.resize(std::max<std::size_t>(bytes, 4), 'j');
        return picture;
    }
    // A picture in a format that has to be re-encoded.
    static std::string other(std::uint8_t width, std::uint8_t height, std::size_t bytes)
    {
        std::string picture = {
            'F', 'A', 'K', 'E', static_cast<char>(width), static_cast<char>(height)};
        picture.resize(std::max<std::size_t>(bytes, 6), 'p');
        return picture;
    }

    mutable std::atomic<int> measures{0};
    mutable std::atomic<int> encodes{0};
    std::chrono::milliseconds delay{0};

private:
    static std::optional<galvorn::platform::PictureSize>
    sizeOf(std::span<const std::uint8_t> encoded)
    {
        if (encoded.size() >= 4 && encoded[0] == 0xFF && encoded[1] == 0xD8)
            return galvorn::platform::PictureSize{encoded[2], encoded[3]};
        if (encoded.size() >= 6 && std::equal(encoded.begin(), encoded.begin() + 4, "FAKE"))
            return galvorn::platform::PictureSize{encoded[4], encoded[5]};
        return std::nullopt;
    }

    void work() const
    {
        if (delay.count() > 0)
            std::this_thread::sleep_for(delay);
    }
};

// A person of whom only the picture matters.
inline galvorn::PersonInfo personWithPicture(const std::string& path, const std::string& name = {})
{
    galvorn::PersonInfo person;
    person.name = name;
    person.picturePath = path;
    return person;
}
