#include "common/faceimageadd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace galvorn::common;

// The add request's block against buffers laid out by hand, byte by byte, so that a
// fault in the wire reader or writer is not mirrored in the expected bytes.
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& buffer, std::size_t offset, std::uint32_t value)
{
    buffer[offset] = static_cast<std::uint8_t>(value & 0xFF);
    buffer[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    buffer[offset + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    buffer[offset + 3] = static_cast<std::uint8_t>((value >> 24) & 0xFF);
}

void putText(Bytes& buffer, std::size_t offset, const std::string& text)
{
    std::memcpy(buffer.data() + offset, text.data(), text.size());
}

std::string repeat(const std::string& part, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += part;
    return text;
}

FaceImageAddBlock sampleBlock()
{
    FaceImageAddBlock block;
    block.listType = -3;
    block.name = "Ada Lovelace";
    block.gender = kGenderMale;
    block.age = 36;
    block.cardNumber = "CARD-0042";
    block.phone = "+44 20 7946 0000";
    block.width = 640;
    block.height = 0x01020304;
    block.format = kPictureFormatJpeg;
    block.pictureLength = 5;
    block.remark = "front door";
    return block;
}

// sampleBlock() and its picture, as they must appear on the wire.
Bytes sampleBytes()
{
    Bytes bytes(kFaceImageAddBlockSize, 0);
    put32(bytes, 0, 0xFFFFFFFD);
    putText(bytes, 4, "Ada Lovelace");
    put32(bytes, 132, 1);
    put32(bytes, 136, 36);
    putText(bytes, 140, "CARD-0042");
    putText(bytes, 268, "+44 20 7946 0000");
    put32(bytes, 332, 640);
    put32(bytes, 336, 0x01020304);
    put32(bytes, 340, 4);
    put32(bytes, 344, 5);
    putText(bytes, 348, "front door");
    for (const std::uint8_t byte : {0xFF, 0xD8, 0xFF, 0xE0, 0x42})
        bytes.push_back(byte);
    return bytes;
}

const Bytes kPicture = {0xFF, 0xD8, 0xFF, 0xE0, 0x42};

TEST(FaceImageAdd, EveryFieldLiesAtItsOffset)
{
    const Bytes expected = sampleBytes();
    EXPECT_EQ(encodeFaceImageAdd(sampleBlock(), kPicture), expected);

    const auto decoded = decodeFaceImageAdd(expected);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->block, sampleBlock());
    EXPECT_EQ(Bytes(decoded->picture.begin(), decoded->picture.end()), kPicture);
}

TEST(FaceImageAdd, PictureIsAViewOfTheBytesAfterTheBlock)
{
    Bytes payload = sampleBytes();
    // The declared length is the device's to check; the view holds what came.
    payload.push_back(0xD9);
    const auto decoded = decodeFaceImageAdd(payload);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->block.pictureLength, 5u);
    EXPECT_EQ(decoded->picture.data(), payload.data() + kFaceImageAddBlockSize);
    EXPECT_EQ(decoded->picture.size(), payload.size() - kFaceImageAddBlockSize);

    const Bytes blockOnly(payload.begin(), payload.begin() + kFaceImageAddBlockSize);
    const auto empty = decodeFaceImageAdd(blockOnly);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->picture.empty());
}

TEST(FaceImageAdd, EveryPayloadShorterThanTheBlockIsRefused)
{
    const Bytes payload = sampleBytes();
    for (std::size_t size = 0; size < kFaceImageAddBlockSize; ++size)
        EXPECT_FALSE(decodeFaceImageAdd(std::span(payload).first(size))) << size;
    EXPECT_TRUE(decodeFaceImageAdd(std::span(payload).first(kFaceImageAddBlockSize)));
}

struct TextCase
{
    const char* name;
    std::string FaceImageAddBlock::*field;
    std::size_t offset;
    std::size_t width;
    std::string text;
    // The bytes the field holds before its zero fill.
    std::string stored;
};

class FaceImageAddText : public ::testing::TestWithParam<TextCase>
{};

TEST_P(FaceImageAddText, IsCutAtACharacterBoundaryAndZeroFilled)
{
    const TextCase& each = GetParam();
    FaceImageAddBlock block = sampleBlock();
    block.*(each.field) = each.text;
    Bytes expected = sampleBytes();
    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(each.offset), each.width, 0);
    putText(expected, each.offset, each.stored);

    EXPECT_EQ(encodeFaceImageAdd(block, kPicture), expected);
    const auto decoded = decodeFaceImageAdd(expected);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->block.*(each.field), each.stored);
    // The field's neighbours are untouched by a text that fills it.
    FaceImageAddBlock rest = decoded->block;
    rest.*(each.field) = sampleBlock().*(each.field);
    EXPECT_EQ(rest, sampleBlock());
}

const std::string kEuro = "\xE2\x82\xAC";
const std::string kGrin = "\xF0\x9F\x98\x80";

INSTANTIATE_TEST_SUITE_P(
    Fields, FaceImageAddText,
    ::testing::Values(TextCase{"NameFillsItsField", &FaceImageAddBlock::name, 4, 128,
                               std::string(128, 'n'), std::string(128, 'n')},
                      TextCase{"NameOneOverIsCut", &FaceImageAddBlock::name, 4, 128,
                               std::string(129, 'n'), std::string(128, 'n')},
                      TextCase{"NameCutBeforeASplitCharacter", &FaceImageAddBlock::name, 4, 128,
                               repeat(kEuro, 43), repeat(kEuro, 42)},
                      TextCase{"CardFillsWithTwoByteCharacters", &FaceImageAddBlock::cardNumber,
                               140, 128, repeat("\xC3\xA9", 64), repeat("\xC3\xA9", 64)},
                      TextCase{"PhoneFillsItsField", &FaceImageAddBlock::phone, 268, 64,
                               std::string(64, '7'), std::string(64, '7')},
                      TextCase{"PhoneCutBeforeASplitCharacter", &FaceImageAddBlock::phone, 268, 64,
                               "12" + repeat(kGrin, 16), "12" + repeat(kGrin, 15)},
                      TextCase{"RemarkFillsWithFourByteCharacters", &FaceImageAddBlock::remark, 348,
                               128, repeat(kGrin, 33), repeat(kGrin, 32)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
