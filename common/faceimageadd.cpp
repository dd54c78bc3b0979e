#include "common/faceimageadd.h"

#include "common/wirebuffer.h"
#include "support/textcodec.h"

namespace galvorn::common {

namespace {

void textField(WireWriter& writer, std::string_view text, std::size_t width)
{
    writer.text(textcodec::truncateUtf8(text, width), width);
}

tint32 i32(WireReader& reader)
{
    return static_cast<tint32>(reader.u32());
}

} // namespace

std::vector<std::uint8_t> encodeFaceImageAdd(const FaceImageAddBlock& block,
                                             std::span<const std::uint8_t> picture)
{
    WireWriter writer(kFaceImageAddBlockSize + picture.size());
    writer.u32(static_cast<tuint32>(block.listType));
    textField(writer, block.name, kFaceImageAddNameSize);
    writer.u32(static_cast<tuint32>(block.gender));
    writer.u32(static_cast<tuint32>(block.age));
    textField(writer, block.cardNumber, kFaceImageAddCardSize);
    textField(writer, block.phone, kFaceImageAddPhoneSize);
    writer.u32(static_cast<tuint32>(block.width));
    writer.u32(static_cast<tuint32>(block.height));
    writer.u32(static_cast<tuint32>(block.format));
    writer.u32(block.pictureLength);
    textField(writer, block.remark, kFaceImageAddRemarkSize);
    writer.bytes(picture);
    return writer.take();
}

std::optional<FaceImageAddRequest> decodeFaceImageAdd(std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    FaceImageAddRequest request;
    FaceImageAddBlock& block = request.block;
    block.listType = i32(reader);
    block.name = reader.text(kFaceImageAddNameSize);
    block.gender = i32(reader);
    block.age = i32(reader);
    block.cardNumber = reader.text(kFaceImageAddCardSize);
    block.phone = reader.text(kFaceImageAddPhoneSize);
    block.width = i32(reader);
    block.height = i32(reader);
    block.format = i32(reader);
    block.pictureLength = reader.u32();
    block.remark = reader.text(kFaceImageAddRemarkSize);
    if (!reader.ok())
        return std::nullopt;
    request.picture = payload.subspan(reader.offset());
    return request;
}

} // namespace galvorn::common
