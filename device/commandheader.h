#pragma once

#include "support/inttypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace galvorn::device {

// The 16 bytes that open the body of every device message.
struct CommandHeader
{
    static constexpr std::size_t kSize = 16;

    tuint32 command = 0;
    // 0 in every request; in what the device sends, passed on to the owner.
    tuint32 parameter = 0;
    tuint32 reserved = 0;
    tuint32 payloadLength = 0;
};

std::array<std::uint8_t, CommandHeader::kSize> EncodeCommandHeader(const CommandHeader& header);

// A received message split into its header and payload.
struct DeviceMessage
{
    CommandHeader header;
    std::span<const std::uint8_t> payload;
};

// nullopt when the message is shorter than its header or than the payload length the
// header declares. Bytes after the declared payload are not part of it.
std::optional<DeviceMessage> ReadDeviceMessage(std::span<const std::uint8_t> message) noexcept;

} // namespace galvorn::device
