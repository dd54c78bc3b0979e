#include "common/framereader.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::common {

namespace {

// An empty buffer with room for the first bytes of a message of `length` bytes.
void startBuffer(std::vector<std::uint8_t>& buffer, std::uint32_t length)
{
    buffer.clear();
    buffer.shrink_to_fit();
    buffer.reserve(std::min<std::size_t>(length, Frame::kInitialReservation));
}

// Takes up to `count` bytes from the front of `data`.
std::span<const std::uint8_t> takeFront(std::span<const std::uint8_t>& data, std::size_t count)
{
    const std::size_t used = std::min(count, data.size());
    const std::span<const std::uint8_t> front = data.first(used);
    data = data.subspan(used);
    return front;
}

} // namespace

std::array<std::uint8_t, Frame::kHeaderSize> encodeFrameHeader(std::uint32_t bodyLength)
{
    WireWriter writer(Frame::kHeaderSize);
    writer.bytes(Frame::kMagic);
    writer.u32(bodyLength);
    std::array<std::uint8_t, Frame::kHeaderSize> bytes{};
    std::copy(writer.data().begin(), writer.data().end(), bytes.begin());
    return bytes;
}

std::array<std::uint8_t, Frame::kFragmentHeaderSize>
encodeFragmentHeader(const FragmentHeader& header)
{
    WireWriter writer(Frame::kFragmentHeaderSize);
    writer.u32(header.messageId);
    writer.u32(header.fragmentCount);
    writer.u32(header.totalLength);
    writer.u32(header.fragmentNumber);
    writer.u32(header.fragmentLength);
    writer.u32(header.channel);
    std::array<std::uint8_t, Frame::kFragmentHeaderSize> bytes{};
    std::copy(writer.data().begin(), writer.data().end(), bytes.begin());
    return bytes;
}

std::optional<FragmentHeader> decodeFragmentHeader(std::span<const std::uint8_t> bytes)
{
    WireReader reader(bytes);
    FragmentHeader header;
    header.messageId = reader.u32();
    header.fragmentCount = reader.u32();
    header.totalLength = reader.u32();
    header.fragmentNumber = reader.u32();
    header.fragmentLength = reader.u32();
    header.channel = reader.u32();
    if (!reader.ok())
        return std::nullopt;
    return header;
}

std::size_t FrameReader::bufferedCapacity() const noexcept
{
    std::size_t capacity = message_.capacity();
    for (const Slot& slot : slots_)
        capacity += slot.buffer.capacity();
    return capacity;
}

FrameReader::Event FrameReader::feed(std::span<const std::uint8_t> data, std::size_t& consumed)
{
    const std::size_t size = data.size();
    Event event = Event::NeedMore;
    while (event == Event::NeedMore && !data.empty()) {
        switch (stage_) {
        case Stage::Header:
            event = onHeader(data);
            break;
        case Stage::FragmentHeader:
            event = onFragmentHeader(data);
            break;
        case Stage::Body:
            event = onBody(data);
            break;
        case Stage::FragmentBytes:
            event = onFragmentBytes(data);
            break;
        case Stage::Discard:
            event = onDiscard(data);
            break;
        }
    }
    // A fragment of 0 bytes ends with its header, without another byte.
    if (event == Event::NeedMore && stage_ == Stage::FragmentBytes && fragmentLeft_ == 0)
        event = onFragmentBytes(data);
    else if (event == Event::NeedMore && stage_ == Stage::Discard && discardLeft_ == 0)
        event = onDiscard(data);
    consumed = size - data.size();
    return event;
}

bool FrameReader::fillHeader(std::span<const std::uint8_t>& data, std::size_t size)
{
    const std::span<const std::uint8_t> part = takeFront(data, size - headerFilled_);
    std::copy(part.begin(), part.end(),
              header_.begin() + static_cast<std::ptrdiff_t>(headerFilled_));
    headerFilled_ += part.size();
    if (headerFilled_ < size)
        return false;
    headerFilled_ = 0;
    return true;
}

FrameReader::Event FrameReader::onHeader(std::span<const std::uint8_t>& data)
{
    if (!fillHeader(data, Frame::kHeaderSize))
        return Event::NeedMore;
    WireReader reader(std::span<const std::uint8_t>(header_.data(), Frame::kHeaderSize));
    const std::span<const std::uint8_t> magic = reader.bytes(Frame::kMagic.size());
    const std::uint32_t length = reader.u32();
    if (!std::equal(magic.begin(), magic.end(), Frame::kMagic.begin()))
        return Event::BadMagic;
    if (length == Frame::kKeepAlive)
        return Event::KeepAlive;
    if (length == Frame::kFragmentMarker) {
        stage_ = Stage::FragmentHeader;
        return Event::NeedMore;
    }
    if (length > Frame::kMaxMessageLength)
        return Event::TooLong;
    startBuffer(message_, length);
    bodyLength_ = length;
    stage_ = Stage::Body;
    return Event::NeedMore;
}

FrameReader::Event FrameReader::onBody(std::span<const std::uint8_t>& data)
{
    const std::span<const std::uint8_t> part = takeFront(data, bodyLength_ - message_.size());
    message_.insert(message_.end(), part.begin(), part.end());
    if (message_.size() < bodyLength_)
        return Event::NeedMore;
    stage_ = Stage::Header;
    return Event::Message;
}

FrameReader::Event FrameReader::onFragmentHeader(std::span<const std::uint8_t>& data)
{
    if (!fillHeader(data, Frame::kFragmentHeaderSize))
        return Event::NeedMore;
    const std::optional<FragmentHeader> header = decodeFragmentHeader(header_);
    return acceptFragment(*header);
}

FrameReader::Event FrameReader::acceptFragment(const FragmentHeader& header)
{
    lastFragment_ = header.fragmentNumber == header.fragmentCount;
    if (header.channel >= Frame::kChannels) {
        stage_ = Stage::Discard;
        discardLeft_ = header.fragmentLength;
        return Event::NeedMore;
    }
    slot_ = header.channel;
    Slot& slot = slots_[slot_];
    if (header.fragmentNumber == 1) {
        if (header.totalLength > Frame::kMaxMessageLength) {
            slot = Slot{};
            stage_ = Stage::Header;
            return Event::TooLong;
        }
        startBuffer(slot.buffer, header.totalLength);
        slot.inUse = true;
        slot.messageId = header.messageId;
        slot.fragmentCount = header.fragmentCount;
        slot.totalLength = header.totalLength;
    }
    const bool continues = slot.inUse && slot.messageId == header.messageId &&
                           slot.totalLength == header.totalLength &&
                           slot.fragmentCount == header.fragmentCount;
    const bool fits = header.fragmentLength <= slot.totalLength - slot.buffer.size();
    if (!continues || !fits) {
        stage_ = Stage::Discard;
        discardLeft_ = header.fragmentLength;
        return Event::NeedMore;
    }
    stage_ = Stage::FragmentBytes;
    fragmentLeft_ = header.fragmentLength;
    return Event::NeedMore;
}

FrameReader::Event FrameReader::onFragmentBytes(std::span<const std::uint8_t>& data)
{
    Slot& slot = slots_[slot_];
    const std::span<const std::uint8_t> part = takeFront(data, fragmentLeft_);
    slot.buffer.insert(slot.buffer.end(), part.begin(), part.end());
    fragmentLeft_ -= static_cast<std::uint32_t>(part.size());
    if (fragmentLeft_ > 0)
        return Event::NeedMore;
    return endOfFragment();
}

FrameReader::Event FrameReader::endOfFragment()
{
    stage_ = Stage::Header;
    if (!lastFragment_)
        return Event::Fragment;
    Slot& slot = slots_[slot_];
    const bool whole = slot.buffer.size() == slot.totalLength;
    if (whole)
        message_ = std::move(slot.buffer);
    slot = Slot{};
    return whole ? Event::Message : Event::Fragment;
}

FrameReader::Event FrameReader::onDiscard(std::span<const std::uint8_t>& data)
{
    discardLeft_ -= static_cast<std::uint32_t>(takeFront(data, discardLeft_).size());
    if (discardLeft_ > 0)
        return Event::NeedMore;
    stage_ = Stage::Header;
    return Event::Fragment;
}

} // namespace galvorn::common
