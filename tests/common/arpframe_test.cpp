// ARP frames: the request against hand-laid bytes, a reply captured from a Linux kernel,
// and short, foreign and malformed frames.
#include "common/arpframe.h"
#include "common/wirebuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace galvorn::common::arp {
namespace {

using platform::MacBytes;

std::vector<std::uint8_t> fromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

constexpr MacBytes kOwn = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr MacBytes kCamera = {0x02, 0x00, 0x00, 0x00, 0x00, 0x77};
constexpr std::uint32_t kCameraAddress = 0xC633644D; // 198.51.100.77

// A kernel's answer to a request from kOwn with sender 0.0.0.0 for 198.51.100.77, as
// captured on a veth: 42 bytes, no padding, sent back to the asker.
const std::string kCapturedReply = "020000000001020000000077080600010800060400020200000000"
                                   "77c633644d02000000000100000000";

TEST(ArpRequest, MatchesTheHandLaidFrame)
{
    const std::vector<std::uint8_t> expected =
        fromHex("ffffffffffff020000000001"               // broadcast, from us
                "0806"                                   // ARP
                "0001080006040001"                       // Ethernet, IPv4, 6, 4, request
                "02000000000100000000"                   // our MAC, sender 0.0.0.0
                "000000000000c633644d"                   // target MAC unknown, 198.51.100.77
                "000000000000000000000000000000000000"); // padding to 60 bytes
    EXPECT_EQ(BuildRequest(kOwn, kCameraAddress), expected);
    EXPECT_EQ(BuildRequest(kOwn, kCameraAddress).size(), kRequestSize);
}

TEST(ArpFrameParse, ReadsTheCapturedKernelReply)
{
    ArpFrame frame;
    ASSERT_EQ(ParseFrame(fromHex(kCapturedReply), frame), ParseResult::Ok);
    EXPECT_EQ(frame.destination, kOwn);
    EXPECT_EQ(frame.source, kCamera);
    EXPECT_EQ(frame.operation, kOperationReply);
    EXPECT_EQ(frame.senderMac, kCamera);
    EXPECT_EQ(frame.senderAddress, kCameraAddress);
    EXPECT_EQ(frame.targetMac, kOwn);
    EXPECT_EQ(frame.targetAddress, 0u);
    EXPECT_TRUE(IsReplyFor(frame, kCameraAddress));
    EXPECT_FALSE(IsReplyFor(frame, kCameraAddress + 1));
}

TEST(ArpFrameParse, ReadsItsOwnRequestBackAsARequest)
{
    ArpFrame frame;
    ASSERT_EQ(ParseFrame(BuildRequest(kOwn, kCameraAddress), frame), ParseResult::Ok);
    EXPECT_EQ(frame.operation, kOperationRequest);
    EXPECT_EQ(frame.targetAddress, kCameraAddress);
    EXPECT_FALSE(IsReplyFor(frame, kCameraAddress)) << "a request is no answer";
    EXPECT_FALSE(IsReplyFor(frame, 0)) << "not even for its sender address 0.0.0.0";
}

// Every cut of the captured reply short of 42 bytes is short; padding and trailing bytes
// after it are allowed.
TEST(ArpFrameParse, EveryShortCutIsShortAndPaddingIsAllowed)
{
    const std::vector<std::uint8_t> reply = fromHex(kCapturedReply);
    for (std::size_t size = 0; size < kFrameSize; ++size) {
        ArpFrame frame;
        frame.operation = 0x5555;
        EXPECT_EQ(ParseFrame({reply.data(), size}, frame), ParseResult::Short) << size;
        EXPECT_EQ(frame.operation, 0x5555) << "the frame is left alone when short";
    }
    std::vector<std::uint8_t> padded = reply;
    padded.resize(kRequestSize + 40, 0xEE);
    ArpFrame frame;
    ASSERT_EQ(ParseFrame(padded, frame), ParseResult::Ok);
    EXPECT_EQ(frame.senderAddress, kCameraAddress);
}

TEST(ArpFrameParse, RefusesForeignAndMalformedFrames)
{
    struct Case
    {
        const char* name;
        std::size_t offset;
        std::vector<std::uint8_t> bytes;
        ParseResult expected;
    };
    const std::vector<Case> cases = {
        {"IPv4 EtherType", 12, {0x08, 0x00}, ParseResult::NotArp},
        {"VLAN tag", 12, {0x81, 0x00}, ParseResult::NotArp},
        {"reverse ARP", 12, {0x80, 0x35}, ParseResult::NotArp},
        {"token-ring hardware", 14, {0x00, 0x06}, ParseResult::NotEthernetIpv4},
        {"IPv6 protocol", 16, {0x86, 0xDD}, ParseResult::NotEthernetIpv4},
        {"hardware length 8", 18, {0x08}, ParseResult::NotEthernetIpv4},
        {"protocol length 16", 19, {0x10}, ParseResult::NotEthernetIpv4},
        {"protocol length 0", 19, {0x00}, ParseResult::NotEthernetIpv4},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> frame = fromHex(kCapturedReply);
        std::copy(c.bytes.begin(), c.bytes.end(), frame.begin() + static_cast<long>(c.offset));
        ArpFrame parsed;
        EXPECT_EQ(ParseFrame(frame, parsed), c.expected) << c.name;
    }
}

// Operations other than reply are read as they are and never taken as an answer.
TEST(ArpFrameParse, OnlyOperationTwoAnswers)
{
    for (const std::uint16_t operation : {0, 1, 3, 4, 0x0200, 0xFFFF}) {
        std::vector<std::uint8_t> bytes = fromHex(kCapturedReply);
        bytes[20] = static_cast<std::uint8_t>(operation >> 8);
        bytes[21] = static_cast<std::uint8_t>(operation);
        ArpFrame frame;
        ASSERT_EQ(ParseFrame(bytes, frame), ParseResult::Ok);
        EXPECT_EQ(frame.operation, operation);
        EXPECT_FALSE(IsReplyFor(frame, kCameraAddress)) << operation;
    }
}

TEST(WireBigEndian, WritesAndReadsNetworkOrder)
{
    WireWriter writer;
    writer.u16be(0x0806);
    writer.u32be(0xC633644D);
    EXPECT_EQ(writer.data(), fromHex("0806c633644d"));
    WireReader reader(writer.data());
    EXPECT_EQ(reader.u16be(), 0x0806);
    EXPECT_EQ(reader.u32be(), 0xC633644Du);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.u16be(), 0);
    EXPECT_FALSE(reader.ok());
}

} // namespace
} // namespace galvorn::common::arp
