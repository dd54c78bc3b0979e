#include "searchlib/wire.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::searchlib::wire {

namespace {

using common::WireReader;
using common::WireWriter;

constexpr std::uint8_t kMagicBytes[4] = {'Q', 'S', 'R', 'C'};

void writeHeader(WireWriter& writer, std::uint8_t version, std::uint8_t kind)
{
    writer.bytes(kMagicBytes);
    writer.u8(version);
    writer.u8(kind);
    writer.u16(0);
}

// Leaves the datagram's version in `version`.
Status readHeader(WireReader& reader, std::uint8_t expectedKind, std::uint8_t& version)
{
    const auto magic = reader.bytes(sizeof kMagicBytes);
    version = reader.u8();
    const std::uint8_t kind = reader.u8();
    reader.skip(2); // reserved: sent as zero, ignored
    if (!reader.ok())
        return Status::Truncated;
    if (!std::equal(magic.begin(), magic.end(), std::begin(kMagicBytes)))
        return Status::BadMagic;
    if (version < kFirstVersion)
        return Status::BadVersion;
    if (kind != expectedKind)
        return Status::WrongKind;
    return Status::Ok;
}

// The bytes after the last field known here: none in a datagram of a known version, any
// number in one of a later version, which appends its own fields.
Status checkEnd(const WireReader& reader, std::uint8_t version)
{
    if (!reader.ok())
        return Status::Truncated;
    if (reader.remaining() != 0 && version <= kVersion)
        return Status::TrailingBytes;
    return Status::Ok;
}

Status checkXml(std::string_view xml)
{
    if (xml.empty())
        return Status::EmptyXml;
    if (xml.size() > kMaxXml)
        return Status::TooLarge;
    if (xml.find('\0') != std::string_view::npos)
        return Status::XmlWithNul;
    return Status::Ok;
}

} // namespace

const char* statusText(Status status)
{
    switch (status) {
    case Status::Ok:
        return "ok";
    case Status::TooLarge:
        return "too large";
    case Status::Truncated:
        return "truncated";
    case Status::TrailingBytes:
        return "trailing bytes";
    case Status::BadMagic:
        return "bad magic";
    case Status::BadVersion:
        return "bad version";
    case Status::WrongKind:
        return "wrong kind";
    case Status::InvalidMac:
        return "invalid MAC";
    case Status::EmptyXml:
        return "empty XML";
    case Status::XmlWithNul:
        return "XML with NUL";
    }
    return "unknown";
}

std::vector<std::uint8_t> encodeProbe(const Probe& probe)
{
    const std::uint8_t version = probe.version == kFirstVersion ? kFirstVersion : kVersion;
    WireWriter writer(kProbeSize);
    writeHeader(writer, version, kKindProbe);
    writer.u32(probe.nonce);
    if (version != kFirstVersion)
        writer.u16(probe.answerDelayMs);
    return writer.take();
}

Status decodeProbe(std::span<const std::uint8_t> datagram, Probe& probe)
{
    if (datagram.size() > kMaxDatagram)
        return Status::TooLarge;
    WireReader reader(datagram);
    std::uint8_t version = 0;
    if (const Status status = readHeader(reader, kKindProbe, version); status != Status::Ok)
        return status;
    const std::uint32_t nonce = reader.u32();
    const std::uint16_t delay = version == kFirstVersion ? 0 : reader.u16();
    if (const Status status = checkEnd(reader, version); status != Status::Ok)
        return status;
    probe.nonce = nonce;
    probe.answerDelayMs = delay;
    probe.version = version;
    return Status::Ok;
}

std::uint8_t answerVersionFor(const Probe& probe)
{
    return std::clamp(probe.version, kFirstVersion, kVersion);
}

Status encodeAnswer(const Answer& answer, std::vector<std::uint8_t>& datagram)
{
    datagram.clear();
    if (answer.version < kFirstVersion || answer.version > kVersion)
        return Status::BadVersion;
    if (!answer.mac.isUnicast())
        return Status::InvalidMac;
    if (const Status status = checkXml(answer.xml); status != Status::Ok)
        return status;
    WireWriter writer(kAnswerFixedSize + answer.xml.size());
    writeHeader(writer, answer.version, kKindAnswer);
    writer.u32(answer.nonce);
    writer.bytes(answer.mac.bytes);
    writer.u16(static_cast<std::uint16_t>(answer.xml.size()));
    writer.bytes({reinterpret_cast<const std::uint8_t*>(answer.xml.data()), answer.xml.size()});
    datagram = writer.take();
    return Status::Ok;
}

Status decodeAnswerView(std::span<const std::uint8_t> datagram, AnswerView& answer)
{
    if (datagram.size() > kMaxDatagram)
        return Status::TooLarge;
    WireReader reader(datagram);
    std::uint8_t version = 0;
    if (const Status status = readHeader(reader, kKindAnswer, version); status != Status::Ok)
        return status;
    const std::uint32_t nonce = reader.u32();
    const auto macBytes = reader.bytes(6);
    const std::uint16_t xmlLength = reader.u16();
    // The declared length is checked against what arrived before the document is looked at.
    if (!reader.ok() || xmlLength > reader.remaining())
        return Status::Truncated;
    const auto text = reader.bytes(xmlLength);
    if (const Status status = checkEnd(reader, version); status != Status::Ok)
        return status;
    MacAddress mac;
    std::copy(macBytes.begin(), macBytes.end(), mac.bytes.begin());
    if (!mac.isUnicast())
        return Status::InvalidMac;
    const std::string_view xml(reinterpret_cast<const char*>(text.data()), text.size());
    if (const Status status = checkXml(xml); status != Status::Ok)
        return status;
    answer.nonce = nonce;
    answer.mac = mac;
    answer.xml = xml;
    answer.version = version;
    return Status::Ok;
}

Status decodeAnswer(std::span<const std::uint8_t> datagram, Answer& answer)
{
    AnswerView view;
    if (const Status status = decodeAnswerView(datagram, view); status != Status::Ok)
        return status;
    answer.nonce = view.nonce;
    answer.mac = view.mac;
    answer.xml.assign(view.xml);
    answer.version = view.version;
    return Status::Ok;
}

} // namespace galvorn::searchlib::wire
