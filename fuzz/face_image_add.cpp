// The batch-add request's person block, as the simulated cameras decode what Galvorn
// sends, and as Galvorn encodes the texts of a person table.
#include "common/faceimageadd.h"
#include "fuzz/fuzzinput.h"
#include "support/textcodec.h"

#include <algorithm>

using namespace galvorn::common;
using galvorn::fuzz::FuzzInput;
using galvorn::fuzz::text;
namespace textcodec = galvorn::textcodec;

namespace {

// A text as the block carries it: cut at a character boundary to the field, read up to
// its first zero byte.
std::string carried(std::string_view text, std::size_t width)
{
    const std::string_view cut = textcodec::truncateUtf8(text, width);
    return std::string(cut.substr(0, cut.find('\0')));
}

void checkDecoded(std::span<const std::uint8_t> payload)
{
    const std::optional<FaceImageAddRequest> request = decodeFaceImageAdd(payload);
    FUZZ_CHECK(request.has_value() == (payload.size() >= kFaceImageAddBlockSize));
    if (!request)
        return;
    FUZZ_CHECK(request->picture.data() == payload.data() + kFaceImageAddBlockSize);
    FUZZ_CHECK(request->picture.size() == payload.size() - kFaceImageAddBlockSize);
    // Written again, the request reads as the same block and picture.
    const std::vector<std::uint8_t> encoded = encodeFaceImageAdd(request->block, request->picture);
    FUZZ_CHECK(encoded.size() == payload.size());
    const std::optional<FaceImageAddRequest> again = decodeFaceImageAdd(encoded);
    FUZZ_CHECK(again && again->block == request->block);
    FUZZ_CHECK(std::equal(again->picture.begin(), again->picture.end(), request->picture.begin(),
                          request->picture.end()));
}

void checkEncoded(FuzzInput& input)
{
    FaceImageAddBlock block;
    block.listType = static_cast<tint32>(input.u32());
    block.gender = static_cast<tint32>(input.u32());
    block.age = static_cast<tint32>(input.u32());
    block.name = text(input.piece());
    block.cardNumber = text(input.piece());
    block.phone = text(input.piece());
    block.remark = text(input.piece());
    const std::span<const std::uint8_t> picture = input.rest();
    block.pictureLength = static_cast<tuint32>(picture.size());

    const std::vector<std::uint8_t> payload = encodeFaceImageAdd(block, picture);
    FUZZ_CHECK(payload.size() == kFaceImageAddBlockSize + picture.size());
    const std::optional<FaceImageAddRequest> request = decodeFaceImageAdd(payload);
    FUZZ_CHECK(request.has_value());
    const FaceImageAddBlock& read = request->block;
    FUZZ_CHECK(read.listType == block.listType && read.gender == block.gender &&
               read.age == block.age && read.pictureLength == block.pictureLength);
    FUZZ_CHECK(read.name == carried(block.name, kFaceImageAddNameSize));
    FUZZ_CHECK(read.cardNumber == carried(block.cardNumber, kFaceImageAddCardSize));
    FUZZ_CHECK(read.phone == carried(block.phone, kFaceImageAddPhoneSize));
    FUZZ_CHECK(read.remark == carried(block.remark, kFaceImageAddRemarkSize));
    // Valid texts stay valid: no cut splits a character.
    if (textcodec::isValidUtf8(block.name))
        FUZZ_CHECK(textcodec::isValidUtf8(read.name));
    FUZZ_CHECK(std::equal(request->picture.begin(), request->picture.end(), picture.begin(),
                          picture.end()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkDecoded({data, size});
    FuzzInput input(data, size);
    checkEncoded(input);
    return 0;
}
