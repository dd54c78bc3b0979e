#pragma once

#include "searchlib/macaddress.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The search protocol on the wire (docs/search-protocol.md). Every datagram starts with
// the same 8-byte header: magic "QSRC", version, kind, two reserved bytes. Numbers are
// little-endian, like those of the device protocol.
//
// A later version only appends fields, so a datagram of a version above kVersion is read
// as kVersion and the bytes beyond the fields known here are ignored.
namespace galvorn::searchlib::wire {

// Organisation-local multicast group and UDP port of the probes.
inline constexpr std::uint32_t kGroup = 0xEFC04703; // 239.192.71.3
inline constexpr std::uint16_t kPort = 37120;
inline constexpr int kMulticastTtl = 1;

// The version spoken here. Version 2 added the probe's answer delay; answers of both
// versions are laid out alike.
inline constexpr std::uint8_t kVersion = 2;
inline constexpr std::uint8_t kFirstVersion = 1;
inline constexpr std::uint8_t kKindProbe = 1;
inline constexpr std::uint8_t kKindAnswer = 2;

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kProbeSizeVersion1 = kHeaderSize + 4;
inline constexpr std::size_t kProbeSize = kProbeSizeVersion1 + 2;
// Longest answer delay a probe may ask for; a camera never waits longer, whatever the
// probe says.
inline constexpr std::uint16_t kMaxAnswerDelayMs = 10'000;
inline constexpr std::size_t kAnswerFixedSize = kHeaderSize + 4 + 6 + 2;
// Larger datagrams are dropped unread.
inline constexpr std::size_t kMaxDatagram = 8192;
inline constexpr std::size_t kMaxXml = kMaxDatagram - kAnswerFixedSize;

// A search round asks every camera on the link to answer. The nonce names the search:
// answers echo it, and a search drops answers that carry another one.
struct Probe
{
    std::uint32_t nonce = 0;
    // Each camera answers after a random time of up to this many milliseconds, so that a
    // large site does not answer all at once. 0, and every version 1 probe: at once.
    std::uint16_t answerDelayMs = 0;
    std::uint8_t version = kVersion;
};

// One camera's answer: its MAC and its multicastSearchResult document.
struct Answer
{
    std::uint32_t nonce = 0;
    MacAddress mac;
    std::string xml;
    std::uint8_t version = kVersion;
};

// An answer as it lies in its datagram: the document is a view into the datagram and
// valid only as long as the datagram is. Lets a receiver compare an answer with the one
// it holds without copying either.
struct AnswerView
{
    std::uint32_t nonce = 0;
    MacAddress mac;
    std::string_view xml;
    std::uint8_t version = kVersion;
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

// A version 1 probe carries no answer delay; any other version is written as this one.
std::vector<std::uint8_t> encodeProbe(const Probe& probe);
Status decodeProbe(std::span<const std::uint8_t> datagram, Probe& probe);

// The version a camera answers a probe in: the probe's own, or this one for later
// probes, so that a reader of an older version understands the answer.
std::uint8_t answerVersionFor(const Probe& probe);

// Refuses (and leaves `datagram` empty) an answer that its decoder would drop, and one
// of a version this side cannot write.
Status encodeAnswer(const Answer& answer, std::vector<std::uint8_t>& datagram);
Status decodeAnswer(std::span<const std::uint8_t> datagram, Answer& answer);
// The same checks as decodeAnswer, without copying the document.
Status decodeAnswerView(std::span<const std::uint8_t> datagram, AnswerView& answer);

} // namespace galvorn::searchlib::wire
