#include "tools/devsim/faceadd.h"

#include "common/faceimageadd.h"
#include "support/textcodec.h"

namespace galvorn::devsim {

namespace {

// The person records keep a terminator after each text, so a text that filled its
// field in the request loses its last character, never part of one.
std::string recordText(const std::string& text, std::size_t capacity)
{
    return std::string(textcodec::truncateUtf8(text, capacity - 1));
}

bool startsLikeJpeg(std::span<const std::uint8_t> picture)
{
    return picture.size() >= 2 && picture[0] == 0xFF && picture[1] == 0xD8;
}

Person personOf(const common::FaceImageAddRequest& request)
{
    const common::FaceImageAddBlock& block = request.block;
    Person person;
    person.listType = block.listType;
    person.name = recordText(block.name, kPersonNameSize);
    person.gender = static_cast<std::uint32_t>(block.gender);
    person.age = block.age;
    person.cardNumber = recordText(block.cardNumber, kPersonCardSize);
    person.phone = recordText(block.phone, kPersonPhoneSize);
    person.remark = recordText(block.remark, kPersonRemarkSize);
    person.picture.assign(request.picture.begin(), request.picture.end());
    return person;
}

std::int32_t ruleRefusal(const FaceAddRules& rules, std::uint32_t sequence, const std::string& name)
{
    if (const auto found = rules.refusedSequences.find(sequence);
        found != rules.refusedSequences.end())
        return found->second;
    if (!rules.refusedNamePrefix.empty() && name.starts_with(rules.refusedNamePrefix))
        return rules.refusedNameCode;
    return rules.refuseAll;
}

std::int32_t pictureRefusal(const common::FaceImageAddRequest& request)
{
    if (request.block.pictureLength > kMaxPictureBytes)
        return kAddPictureTooLarge;
    if (request.block.pictureLength != request.picture.size())
        return kAddPictureData;
    if (!startsLikeJpeg(request.picture))
        return kAddPictureFormat;
    return 0;
}

} // namespace

FaceAdd judgeFaceAdd(const FaceAddRules& rules, std::uint32_t sequence,
                     std::span<const std::uint8_t> payload)
{
    const auto request = common::decodeFaceImageAdd(payload);
    if (!request)
        return {kAddParameterError, {}};
    if (const std::int32_t refusal = pictureRefusal(*request); refusal != 0)
        return {refusal, {}};
    if (const std::int32_t refusal = ruleRefusal(rules, sequence, request->block.name);
        refusal != 0)
        return {refusal, {}};
    return {0, personOf(*request)};
}

} // namespace galvorn::devsim
