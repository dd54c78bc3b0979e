#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace galvorn::common {

// The framing of every device message after the greeting. A frame is the magic "1111",
// a little-endian u32 body length and the body. Length 0 is a keep-alive; length
// 0xFFFFFFFF marks a fragment, whose 24-byte fragment header and bytes follow.
struct Frame
{
    static constexpr std::array<std::uint8_t, 4> kMagic = {'1', '1', '1', '1'};
    static constexpr std::size_t kHeaderSize = 8;
    static constexpr std::size_t kFragmentHeaderSize = 24;
    static constexpr std::uint32_t kKeepAlive = 0;
    static constexpr std::uint32_t kFragmentMarker = 0xFFFFFFFF;
    // No message, whole or reassembled, may be longer; a longer declared length breaks
    // the link before anything is allocated for it.
    static constexpr std::uint32_t kMaxMessageLength = 64u * 1024 * 1024;
    // A declared length is a claim, not a reservation: a message buffer starts with at
    // most this much room and grows as its bytes arrive.
    static constexpr std::size_t kInitialReservation = 64 * 1024;
    // Fragments reassemble in one of this many channels.
    static constexpr std::uint32_t kChannels = 2;
};

struct FragmentHeader
{
    std::uint32_t messageId = 0;
    std::uint32_t fragmentCount = 0;
    std::uint32_t totalLength = 0;
    std::uint32_t fragmentNumber = 0; // 1 for the first
    std::uint32_t fragmentLength = 0; // bytes that follow the header
    std::uint32_t channel = 0;
};

std::array<std::uint8_t, Frame::kHeaderSize> encodeFrameHeader(std::uint32_t bodyLength);
std::array<std::uint8_t, Frame::kFragmentHeaderSize>
encodeFragmentHeader(const FragmentHeader& header);
// nullopt when fewer than 24 bytes are given.
std::optional<FragmentHeader> decodeFragmentHeader(std::span<const std::uint8_t> bytes);

// Turns a byte stream into frames without touching a socket, so that it can be driven
// from any buffer. Bytes may be fed in pieces of any size; feed() consumes bytes until
// one frame has ended or the bytes run out.
//
// Fragments are reassembled per channel. A fragment is consumed and ignored when its
// channel is neither 0 nor 1, when it is not the first and does not continue the
// channel's message (id, count and total must match), or when its bytes would run past
// the message's total length. A last fragment that leaves the message short of its total
// ends it without a message.
//
// Memory follows the bytes that arrived, never the lengths that headers declare.
class FrameReader
{
public:
    enum class Event
    {
        // Every byte was consumed and the current frame is not complete.
        NeedMore,
        // A whole message is ready: takeMessage().
        Message,
        // A keep-alive frame.
        KeepAlive,
        // A fragment that completed no message.
        Fragment,
        // The frame did not begin with the magic; its 8 header bytes are consumed.
        BadMagic,
        // The frame declared a length above Frame::kMaxMessageLength; its header is
        // consumed and nothing was allocated. The stream cannot be followed any more.
        TooLong,
    };

    // Consumes a prefix of `data`; `consumed` tells its length. After any event other
    // than NeedMore the reader stands at the start of the next frame. May throw
    // std::bad_alloc for a message buffer.
    Event feed(std::span<const std::uint8_t> data, std::size_t& consumed);

    // The message of the last Message event; the reader forgets it.
    std::vector<std::uint8_t> takeMessage() { return std::move(message_); }

    // True when no part of a frame has been consumed yet.
    bool atBoundary() const noexcept { return stage_ == Stage::Header && headerFilled_ == 0; }

    // The bytes the reader's buffers hold room for: what the frames in progress cost.
    std::size_t bufferedCapacity() const noexcept;

private:
    enum class Stage
    {
        Header,
        FragmentHeader,
        Body,
        FragmentBytes,
        Discard,
    };

    struct Slot
    {
        bool inUse = false;
        std::uint32_t messageId = 0;
        std::uint32_t fragmentCount = 0;
        std::uint32_t totalLength = 0;
        // The bytes received so far.
        std::vector<std::uint8_t> buffer;
    };

    // Each handler consumes from `data` and returns the event it reached.
    Event onHeader(std::span<const std::uint8_t>& data);
    Event onFragmentHeader(std::span<const std::uint8_t>& data);
    Event onBody(std::span<const std::uint8_t>& data);
    Event onFragmentBytes(std::span<const std::uint8_t>& data);
    Event onDiscard(std::span<const std::uint8_t>& data);
    // Fills the header scratch to `size` bytes; true once it is full.
    bool fillHeader(std::span<const std::uint8_t>& data, std::size_t size);
    // Chooses what happens to the fragment's bytes; may be TooLong.
    Event acceptFragment(const FragmentHeader& header);
    Event endOfFragment();

    Stage stage_ = Stage::Header;
    std::array<std::uint8_t, Frame::kFragmentHeaderSize> header_{};
    std::size_t headerFilled_ = 0;

    std::vector<std::uint8_t> message_;
    std::uint32_t bodyLength_ = 0;

    std::array<Slot, Frame::kChannels> slots_;
    std::size_t slot_ = 0;
    bool lastFragment_ = false;
    std::uint32_t fragmentLeft_ = 0;
    std::uint32_t discardLeft_ = 0;
};

} // namespace galvorn::common
