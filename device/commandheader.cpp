#include "device/commandheader.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::device {

std::array<std::uint8_t, CommandHeader::kSize> EncodeCommandHeader(const CommandHeader& header)
{
    common::WireWriter writer(CommandHeader::kSize);
    writer.u32(header.command);
    writer.u32(header.parameter);
    writer.u32(header.reserved);
    writer.u32(header.payloadLength);
    std::array<std::uint8_t, CommandHeader::kSize> bytes{};
    std::copy(writer.data().begin(), writer.data().end(), bytes.begin());
    return bytes;
}

std::optional<DeviceMessage> ReadDeviceMessage(std::span<const std::uint8_t> message) noexcept
{
    common::WireReader reader(message);
    DeviceMessage read;
    read.header.command = reader.u32();
    read.header.parameter = reader.u32();
    read.header.reserved = reader.u32();
    read.header.payloadLength = reader.u32();
    read.payload = reader.bytes(read.header.payloadLength);
    if (!reader.ok())
        return std::nullopt;
    return read;
}

} // namespace galvorn::device
