#include "tools/devsim/deviceface_replies.h"

#include "common/faceimageadd.h"
#include "common/wirebuffer.h"
#include "device/commandids.h"

#include <cstdio>
#include <openssl/evp.h>

namespace galvorn::devsim {

namespace {

using namespace galvorn::device;
using common::WireReader;
using common::WireWriter;

std::vector<std::uint8_t> wordsPayload(std::initializer_list<std::uint32_t> values)
{
    WireWriter writer;
    for (const std::uint32_t value : values)
        writer.u32(value);
    return writer.take();
}

// A recognisable payload of `size` bytes.
std::vector<std::uint8_t> filler(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i);
    return bytes;
}

std::uint32_t firstWord(std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    return reader.u32();
}

std::string hex(std::span<const std::uint8_t> bytes, std::size_t limit)
{
    std::string text;
    char two[3];
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        text += two;
    }
    return text;
}

// The printable part of a zero-terminated text field.
std::string fieldText(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte == 0)
            break;
        text += byte >= 0x20 && byte < 0x7F && byte != '\t' ? static_cast<char>(byte) : '?';
    }
    return text;
}

// A text as it came, but with backslashes doubled and control characters as \xHH, so
// that no text breaks its line or the tabs between the fields.
std::string recordedText(std::string_view text)
{
    std::string recorded;
    char escape[5];
    for (const char each : text) {
        const auto byte = static_cast<unsigned char>(each);
        if (byte == '\\') {
            recorded += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            recorded += escape;
        } else {
            recorded += each;
        }
    }
    return recorded;
}

std::string sha1Hex(std::span<const std::uint8_t> bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha1(), nullptr);
    return hex({digest, size}, size);
}

// Every field of an add request's block, and the picture that came after it: its size
// and SHA-1, by which a test tells which picture arrived.
std::string describeFaceAdd(std::span<const std::uint8_t> payload)
{
    const auto request = common::decodeFaceImageAdd(payload);
    if (!request)
        return "block=short";
    const common::FaceImageAddBlock& block = request->block;
    return "listType=" + std::to_string(block.listType) +
           "\tpersonName=" + recordedText(block.name) + "\tgender=" + std::to_string(block.gender) +
           "\tage=" + std::to_string(block.age) + "\tcardNumber=" + recordedText(block.cardNumber) +
           "\tphone=" + recordedText(block.phone) + "\twidth=" + std::to_string(block.width) +
           "\theight=" + std::to_string(block.height) + "\tformat=" + std::to_string(block.format) +
           "\tpictureLength=" + std::to_string(block.pictureLength) +
           "\tremark=" + recordedText(block.remark) +
           "\tpictureBytes=" + std::to_string(request->picture.size()) +
           "\tsha1=" + sha1Hex(request->picture);
}

} // namespace

std::vector<std::uint8_t> loginAcceptedPayload(std::span<const std::uint8_t, 6> mac)
{
    WireWriter writer;
    writer.u32(1);                                  // 0
    for (std::uint32_t word = 1; word <= 5; ++word) // 4 to 20
        writer.u32(word * 0x11);
    writer.bytes(std::array<std::uint8_t, 12>{1, 1, 4, 2, 0, 1, 0, 1, 1, 0, 7, 9}); // 24 to 35
    writer.u32(0x24);                                                               // 36
    writer.u32(1);                                                                  // 40
    writer.u32(0x44);                                                               // 44
    writer.u32(0x48);                                                               // 48
    writer.bytes(mac);                                                              // 52
    writer.zeros(92 - writer.size());
    writer.u32(0x92);                                                  // 92
    writer.bytes(std::array<std::uint8_t, 4>{0x96, 0x97, 0x98, 0x99}); // 96
    writer.zeros(109 - writer.size());
    writer.u8(1); // 109
    writer.zeros(120 - writer.size());
    return writer.take();
}

std::vector<DeviceReply> deviceEvents()
{
    WireWriter event;
    event.bytes(std::array<std::uint8_t, 4>{0, 0x21, 0x22, 0x23}); // kind 0, bytes 1 to 3
    event.zeros(4);
    event.u32(0x08);                // 8
    event.u32(0x0C);                // 12
    event.u64(1700000000123456ull); // 16: time in microseconds
    event.u32(0x18);                // 24
    event.u32(0x1C);                // 28
    event.u32(16);                  // 32: data length
    event.zeros(4);
    event.bytes(filler(16, 0xE0));

    WireWriter data;
    data.zeros(16);
    data.u32(8); // 16: data length
    data.zeros(40 - data.size());
    data.bytes(filler(8, 0xD0));
    return {{EVENT_DEVICE, 0, event.take()}, {EVENT_DATA, 0, data.take()}};
}

std::vector<DeviceReply> answerRequest(std::uint32_t command, std::uint32_t parameter,
                                       std::span<const std::uint8_t> payload, ReplyState& state)
{
    const auto one = [parameter](std::uint32_t id, std::vector<std::uint8_t> bytes) {
        return std::vector<DeviceReply>{{id, parameter, std::move(bytes)}};
    };
    switch (command) {
    case CMD_0206:
        return one(REPLY_0201, filler(260, 0x20));
    case CMD_0208:
    case CMD_020E:
        return one(REPLY_0206, filler(64, 0x02));
    case CMD_0210:
        return one(REPLY_020C, wordsPayload({0x20C}));
    case CMD_0D04:
        return one(REPLY_020A, wordsPayload({0x20A}));
    case CMD_CHANNEL_PARAMETERS:
        // The camera confirms the channel parameters it now uses.
        return one(REPLY_CHANNEL_PARAMETERS,
                   std::vector<std::uint8_t>(payload.begin(), payload.end()));
    case CMD_030D:
        return one(REPLY_0302, wordsPayload({0x302}));
    case CMD_0326:
        return one(REPLY_0304, wordsPayload({0x304}));
    case CMD_0328:
        return one(REPLY_0306, filler(32, 0x03));
    case CMD_0401:
        return one(REPLY_0406, filler(48, 0x46));
    case CMD_0405:
        return one(REPLY_0405, filler(96, 0x45));
    case CMD_0407:
        return one(REPLY_0401, filler(40, 0x41));
    case CMD_040E:
        return one(REPLY_040E, filler(160, 0x0E));
    case CMD_0504:
        return {{REPLY_0504, parameter, {}},
                {REPLY_0506_PROGRESS, parameter, wordsPayload({50})},
                {REPLY_0506_PROGRESS, parameter, wordsPayload({100})}};
    case CMD_0505:
        return {{REPLY_0505, parameter, {}}, {REPLY_0507_DONE, parameter, {}}};
    case CMD_0701:
        return one(REPLY_0701_DONE, {});
    case CMD_0801:
        return {{REPLY_0801, parameter, wordsPayload({0x801})},
                {REPLY_0802_PROGRESS, parameter, wordsPayload({100})}};
    case CMD_0802:
    case CMD_0804:
        return one(REPLY_0802_PROGRESS, wordsPayload({100}));
    case CMD_0A02:
        return {{REPLY_0A03, parameter, wordsPayload({0xA03})},
                {REPLY_0A04_PROGRESS, parameter, wordsPayload({100})}};
    case CMD_0B01:
        return one(REPLY_0B01, wordsPayload({0xB1, 0xB2}));
    case CMD_0B02:
        return one(REPLY_0B02, wordsPayload({0xB3, 0xB4}));
    case CMD_0C05:
        return one(REPLY_0C07, wordsPayload({0xC07}));
    case CMD_0C06:
        return one(REPLY_0C08, filler(24, 0x0C));
    case CMD_0D01:
        return one(REPLY_0D01, wordsPayload({0xD01}));
    case CMD_0D03:
        return one(REPLY_0D03, wordsPayload({0xD03}));
    // The face library of a camera that has none: every request is accepted, the export
    // finds no data and the query no person.
    case CMD_FACE_IMAGE_ADD:
        return one(REPLY_FACE_IMAGE_ADD, wordsPayload({0}));
    case CMD_FACE_INFO_QUERY:
        return one(REPLY_FACE_INFO_QUERY, wordsPayload({0, 0}));
    case CMD_FACE_TRANSFER_START:
        return one(REPLY_FACE_TRANSFER_START, wordsPayload({0, state.nextTransferId++}));
    case CMD_FACE_IMPORT_DATA:
        return one(REPLY_FACE_IMPORT_DATA, wordsPayload({0, firstWord(payload)}));
    case CMD_FACE_EXPORT_DATA:
        return one(REPLY_FACE_EXPORT_DATA, wordsPayload({0, 2, 0, 0, 0}));
    case CMD_FACE_TRANSFER_END:
        return one(REPLY_FACE_TRANSFER_END, wordsPayload({0, firstWord(payload)}));
    default:
        // Stream, channel and other requests that a camera carries out silently.
        return {};
    }
}

std::string describeRequest(std::uint32_t command, std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    switch (command) {
    case CMD_FACE_IMAGE_ADD:
        return describeFaceAdd(payload);
    case CMD_FACE_TRANSFER_START: {
        const std::uint32_t direction = reader.u32();
        return "direction=" + std::to_string(direction) + "\tpassword=" +
               fieldText(reader.bytes(std::min<std::size_t>(128, reader.remaining())));
    }
    case CMD_FACE_IMPORT_DATA: {
        const std::uint32_t id = reader.u32();
        const std::uint32_t flag = reader.u32();
        const std::uint32_t length = reader.u32();
        return "transfer=" + std::to_string(id) + "\tflag=" + std::to_string(flag) +
               "\tlength=" + std::to_string(length);
    }
    case CMD_STREAM_OPEN:
    case CMD_STREAM_CLOSE:
    case CMD_STREAM_REFRESH: {
        const std::uint8_t first = reader.u8();
        const std::uint8_t second = reader.u8();
        return "byte0=" + std::to_string(first) + "\tbyte1=" + std::to_string(second);
    }
    default:
        break;
    }
    std::string text;
    for (int i = 0; i < 4 && reader.remaining() >= 4; ++i)
        text += (i ? "\tword" : "word") + std::to_string(i) + "=" + std::to_string(reader.u32());
    if (payload.size() > 16)
        text += (text.empty() ? "" : "\t") + std::string("bytes=") + hex(payload, 64);
    return text;
}

} // namespace galvorn::devsim
