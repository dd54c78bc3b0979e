#pragma once

#include "support/inttypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace galvorn::common {

// The payload of a batch-add request (CMD_FACE_IMAGE_ADD): a fixed 476-byte block that
// describes one person, followed by the person's picture. The request's parameter word
// carries the person's sequence number, which the device echoes in its reply.
//
// Integers are 32-bit little-endian. Text fields are UTF-8, cut at a character boundary
// to at most the field's width and zero-filled; a text that fills its field has no
// terminating zero.
inline constexpr std::size_t kFaceImageAddBlockSize = 476;
inline constexpr std::size_t kFaceImageAddNameSize = 128;
inline constexpr std::size_t kFaceImageAddCardSize = 128;
inline constexpr std::size_t kFaceImageAddPhoneSize = 64;
inline constexpr std::size_t kFaceImageAddRemarkSize = 128;

// The format word of a picture whose file is named .jpg or .jpeg; every other name
// gives 0.
inline constexpr tint32 kPictureFormatJpeg = 4;
// The gender word: 1 for a male person, 0 otherwise.
inline constexpr tint32 kGenderMale = 1;

struct FaceImageAddBlock
{
    tint32 listType = 0;
    std::string name;
    tint32 gender = 0;
    tint32 age = 0;
    std::string cardNumber;
    std::string phone;
    tint32 width = 0;
    tint32 height = 0;
    tint32 format = 0;
    // The picture bytes that follow the block.
    tuint32 pictureLength = 0;
    std::string remark;

    bool operator==(const FaceImageAddBlock&) const = default;
};

// The block followed by the picture. The block's pictureLength is written as given; the
// caller sets it to the picture's size.
std::vector<std::uint8_t> encodeFaceImageAdd(const FaceImageAddBlock& block,
                                             std::span<const std::uint8_t> picture);

// A request payload taken apart: the block and a view of the bytes after it (within
// `payload`). Nothing when the payload is shorter than the block.
struct FaceImageAddRequest
{
    FaceImageAddBlock block;
    std::span<const std::uint8_t> picture;
};
std::optional<FaceImageAddRequest> decodeFaceImageAdd(std::span<const std::uint8_t> payload);

} // namespace galvorn::common
