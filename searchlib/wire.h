#pragma once

#include "searchlib/macaddress.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The search protocol on the wire (docs/search-protocol.md). Every datagram starts with
// the same 8-byte header: magic "QSRC", version, kind, two reserved bytes. Numbers are
// little-endian, like those of the device protocol.
namespace galvorn::searchlib::wire {

// Organisation-local multicast group and UDP port of the probes.
inline constexpr std::uint32_t kGroup = 0xEFC04703; // 239.192.71.3
inline constexpr std::uint16_t kPort = 37120;
inline constexpr int kMulticastTtl = 1;

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kKindProbe = 1;
inline constexpr std::uint8_t kKindAnswer = 2;

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kProbeSize = kHeaderSize + 4;
inline constexpr std::size_t kAnswerFixedSize = kHeaderSize + 4 + 6 + 2;
// Larger datagrams are dropped unread.
inline constexpr std::size_t kMaxDatagram = 8192;
inline constexpr std::size_t kMaxXml = kMaxDatagram - kAnswerFixedSize;

// A search round asks every camera on the link to answer. The nonce names the search:
// answers echo it, and a search drops answers that carry another one.
struct Probe
{
    std::uint32_t nonce = 0;
};

// One camera's answer: its MAC and its multicastSearchResult document.
struct Answer
{
    std::uint32_t nonce = 0;
    MacAddress mac;
    std::string xml;
};

enum class Status
{
    Ok,
    TooLarge,
    Truncated,
    TrailingBytes,
    BadMagic,
    BadVersion,
    WrongKind,
    InvalidMac,
    EmptyXml,
    XmlWithNul
};

const char* statusText(Status status);

std::vector<std::uint8_t> encodeProbe(const Probe& probe);
Status decodeProbe(std::span<const std::uint8_t> datagram, Probe& probe);

// Refuses (and leaves `datagram` empty) an answer that its decoder would drop.
Status encodeAnswer(const Answer& answer, std::vector<std::uint8_t>& datagram);
Status decodeAnswer(std::span<const std::uint8_t> datagram, Answer& answer);

} // namespace galvorn::searchlib::wire
