#include "common/arpframe.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::common::arp {

namespace {

constexpr platform::MacBytes kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr platform::MacBytes kUnknown = {};

void writeMac(WireWriter& writer, const platform::MacBytes& mac)
{
    writer.bytes(mac);
}

platform::MacBytes readMac(WireReader& reader)
{
    platform::MacBytes mac{};
    const auto bytes = reader.bytes(mac.size());
    std::copy(bytes.begin(), bytes.end(), mac.begin());
    return mac;
}

} // namespace

std::vector<std::uint8_t> BuildRequest(const platform::MacBytes& own, std::uint32_t target)
{
    WireWriter writer(kRequestSize);
    writeMac(writer, kBroadcast);
    writeMac(writer, own);
    writer.u16be(kEtherTypeArp);
    writer.u16be(kHardwareEthernet);
    writer.u16be(kProtocolIpv4);
    writer.u8(kHardwareLength);
    writer.u8(kProtocolLength);
    writer.u16be(kOperationRequest);
    writeMac(writer, own);
    writer.u32be(0);
    writeMac(writer, kUnknown);
    writer.u32be(target);
    writer.zeros(kRequestSize - writer.size());
    return writer.take();
}

ParseResult ParseFrame(std::span<const std::uint8_t> bytes, ArpFrame& frame)
{
    WireReader reader(bytes);
    ArpFrame read;
    read.destination = readMac(reader);
    read.source = readMac(reader);
    const std::uint16_t etherType = reader.u16be();
    const std::uint16_t hardware = reader.u16be();
    const std::uint16_t protocol = reader.u16be();
    const std::uint8_t hardwareLength = reader.u8();
    const std::uint8_t protocolLength = reader.u8();
    read.operation = reader.u16be();
    read.senderMac = readMac(reader);
    read.senderAddress = reader.u32be();
    read.targetMac = readMac(reader);
    read.targetAddress = reader.u32be();
    if (!reader.ok())
        return ParseResult::Short;
    if (etherType != kEtherTypeArp)
        return ParseResult::NotArp;
    if (hardware != kHardwareEthernet || protocol != kProtocolIpv4 ||
        hardwareLength != kHardwareLength || protocolLength != kProtocolLength)
        return ParseResult::NotEthernetIpv4;
    frame = read;
    return ParseResult::Ok;
}

bool IsReplyFor(const ArpFrame& frame, std::uint32_t probed)
{
    return frame.operation == kOperationReply && frame.senderAddress == probed;
}

} // namespace galvorn::common::arp
