#pragma once

#include "platform/adaptermac.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// ARP for IPv4 over Ethernet II, as the address preparation sends and reads it: bytes in,
// records out, no I/O. Addresses are in host byte order; on the wire every number is
// big-endian.
namespace galvorn::common::arp {

inline constexpr std::uint16_t kEtherTypeArp = 0x0806;
inline constexpr std::uint16_t kHardwareEthernet = 1;
inline constexpr std::uint16_t kProtocolIpv4 = 0x0800;
inline constexpr std::uint8_t kHardwareLength = 6;
inline constexpr std::uint8_t kProtocolLength = 4;
inline constexpr std::uint16_t kOperationRequest = 1;
inline constexpr std::uint16_t kOperationReply = 2;

// Ethernet header (14 bytes) and the ARP body (28 bytes): a frame without padding, as a
// host captures its own kernel's replies.
inline constexpr std::size_t kFrameSize = 42;
// The requests are padded to Ethernet's minimum frame length.
inline constexpr std::size_t kRequestSize = 60;

// What a received ARP frame says. `source` is the Ethernet source: the station that
// answered.
struct ArpFrame
{
    platform::MacBytes destination{};
    platform::MacBytes source{};
    std::uint16_t operation = 0;
    platform::MacBytes senderMac{};
    std::uint32_t senderAddress = 0;
    platform::MacBytes targetMac{};
    std::uint32_t targetAddress = 0;
};

// Why a frame was not taken as an ARP frame for IPv4 over Ethernet.
enum class ParseResult
{
    Ok,
    Short,          // fewer than kFrameSize bytes
    NotArp,         // another EtherType
    NotEthernetIpv4 // hardware or protocol type or length other than Ethernet and IPv4
};

// A broadcast request who-has `target`, sent from `own` with the sender address 0.0.0.0,
// so that asking leaves no entry for this host in anybody's ARP cache. kRequestSize bytes.
std::vector<std::uint8_t> BuildRequest(const platform::MacBytes& own, std::uint32_t target);

// Reads a frame as captured, padding and trailing bytes allowed. `frame` is set only on Ok.
ParseResult ParseFrame(std::span<const std::uint8_t> bytes, ArpFrame& frame);

// True when the frame is a reply that names `probed` as its sender address.
bool IsReplyFor(const ArpFrame& frame, std::uint32_t probed);

} // namespace galvorn::common::arp
