#pragma once

#include "platform/picturecodec.h"

namespace galvorn::platform {

// PictureCodec over Qt's image readers and writers (JPEG, PNG and the other formats of
// the installed image plugins). Needs no application object; safe from any thread.
class QtPictureCodec final : public PictureCodec
{
public:
    std::optional<PictureSize> measure(std::span<const std::uint8_t> encoded) const override;
    std::optional<JpegPicture> toJpeg(std::span<const std::uint8_t> encoded) const override;
};

} // namespace galvorn::platform
