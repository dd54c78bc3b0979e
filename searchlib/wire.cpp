#include "searchlib/wire.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::searchlib::wire {

namespace {

using common::WireReader;
using common::WireWriter;

constexpr std::uint8_t kMagicBytes[4] = {'Q', 'S', 'R', 'C'};

void writeHeader(WireWriter& writer, std::uint8_t kind)
{
    writer.bytes(kMagicBytes);
    writer.u8(kVersion);
    writer.u8(kind);
    writer.u16(0);
}

Status readHeader(WireReader& reader, std::uint8_t expectedKind)
{
    const auto magic = reader.bytes(sizeof kMagicBytes);
    const std::uint8_t version = reader.u8();
    const std::uint8_t kind = reader.u8();
    reader.skip(2); // reserved: sent as zero, ignored
    if (!reader.ok())
        return Status::Truncated;
    if (!std::equal(magic.begin(), magic.end(), std::begin(kMagicBytes)))
        return Status::BadMagic;
    if (version != kVersion)
        return Status::BadVersion;
    if (kind != expectedKind)
        return Status::WrongKind;
    return Status::Ok;
}

Status checkXml(const std::string& xml)
{
    if (xml.empty())
        return Status::EmptyXml;
    if (xml.size() > kMaxXml)
        return Status::TooLarge;
    if (xml.find('\0') != std::string::npos)
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
    WireWriter writer;
    writeHeader(writer, kKindProbe);
    writer.u32(probe.nonce);
    return writer.take();
}

Status decodeProbe(std::span<const std::uint8_t> datagram, Probe& probe)
{
    if (datagram.size() > kMaxDatagram)
        return Status::TooLarge;
    WireReader reader(datagram);
    if (const Status status = readHeader(reader, kKindProbe); status != Status::Ok)
        return status;
    const std::uint32_t nonce = reader.u32();
    if (!reader.ok())
        return Status::Truncated;
    if (reader.remaining() != 0)
        return Status::TrailingBytes;
    probe.nonce = nonce;
    return Status::Ok;
}

Status encodeAnswer(const Answer& answer, std::vector<std::uint8_t>& datagram)
{
    datagram.clear();
    if (!answer.mac.isUnicast())
        return Status::InvalidMac;
    if (const Status status = checkXml(answer.xml); status != Status::Ok)
        return status;
    WireWriter writer;
    writeHeader(writer, kKindAnswer);
    writer.u32(answer.nonce);
    writer.bytes(answer.mac.bytes);
    writer.u16(static_cast<std::uint16_t>(answer.xml.size()));
    writer.bytes({reinterpret_cast<const std::uint8_t*>(answer.xml.data()), answer.xml.size()});
    datagram = writer.take();
    return Status::Ok;
}

Status decodeAnswer(std::span<const std::uint8_t> datagram, Answer& answer)
{
    if (datagram.size() > kMaxDatagram)
        return Status::TooLarge;
    WireReader reader(datagram);
    if (const Status status = readHeader(reader, kKindAnswer); status != Status::Ok)
        return status;
    const std::uint32_t nonce = reader.u32();
    const auto macBytes = reader.bytes(6);
    const std::uint16_t xmlLength = reader.u16();
    if (!reader.ok())
        return Status::Truncated;
    // The declared length is checked against what arrived before anything is copied.
    if (xmlLength > reader.remaining())
        return Status::Truncated;
    if (xmlLength < reader.remaining())
        return Status::TrailingBytes;
    MacAddress mac;
    std::copy(macBytes.begin(), macBytes.end(), mac.bytes.begin());
    if (!mac.isUnicast())
        return Status::InvalidMac;
    const auto text = reader.bytes(xmlLength);
    std::string xml(text.begin(), text.end());
    if (const Status status = checkXml(xml); status != Status::Ok)
        return status;
    answer.nonce = nonce;
    answer.mac = mac;
    answer.xml = std::move(xml);
    return Status::Ok;
}

} // namespace galvorn::searchlib::wire
