#pragma once

#include "support/inttypes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace galvorn::platform {

struct PictureSize
{
    tint32 width = 0;
    tint32 height = 0;
};

// A picture encoded again as JPEG, with the size of the decoded picture.
struct JpegPicture
{
    std::vector<std::uint8_t> bytes;
    PictureSize size;
};

// The platform's image decoder and JPEG encoder, for the pictures of a batch add. Every
// member may be called from several threads at once; nothing throws, and a picture the
// decoder does not know, or one too large to decode, gives nothing.
class PictureCodec
{
public:
    virtual ~PictureCodec() = default;

    // Width and height from the encoded picture.
    virtual std::optional<PictureSize> measure(std::span<const std::uint8_t> encoded) const = 0;

    // The picture decoded and encoded as JPEG at the encoder's default quality.
    virtual std::optional<JpegPicture> toJpeg(std::span<const std::uint8_t> encoded) const = 0;
};

} // namespace galvorn::platform
