#include "searchlib/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace galvorn::searchlib::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

const MacAddress kMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

Bytes validAnswer(const std::string& xml = "<multicastSearchResult/>")
{
    Bytes datagram;
    EXPECT_EQ(encodeAnswer({0xA1B2C3D4, kMac, xml}, datagram), Status::Ok);
    return datagram;
}

TEST(WireProbe, HasTheDocumentedLayout)
{
    const Bytes expected = {'Q', 'S', 'R', 'C', 1, 1, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(encodeProbe({0xDEADBEEF}), expected);
}

TEST(WireProbe, RoundTripsEveryNonce)
{
    for (const std::uint32_t nonce : {0u, 1u, 0x80000000u, 0xFFFFFFFFu}) {
        Probe probe;
        ASSERT_EQ(decodeProbe(encodeProbe({nonce}), probe), Status::Ok);
        EXPECT_EQ(probe.nonce, nonce);
    }
}

TEST(WireProbe, EveryTruncatedLengthIsRefused)
{
    const Bytes full = encodeProbe({7});
    ASSERT_EQ(full.size(), kProbeSize);
    for (std::size_t length = 0; length < full.size(); ++length) {
        Probe probe;
        EXPECT_EQ(decodeProbe({full.data(), length}, probe), Status::Truncated) << length;
    }
}

TEST(WireAnswer, HasTheDocumentedLayout)
{
    const Bytes expected = {'Q',  'S',  'R',  'C',  1,    2,    0,    0,    0xD4, 0xC3, 0xB2, 0xA1,
                            0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x03, 0x00, 'a',  'b',  'c'};
    EXPECT_EQ(validAnswer("abc"), expected);
}

TEST(WireAnswer, RoundTripsFromOneByteToTheLargestDocument)
{
    for (const std::size_t size : {std::size_t{1}, std::size_t{900}, kMaxXml}) {
        const std::string xml(size, 'x');
        const Bytes datagram = validAnswer(xml);
        EXPECT_LE(datagram.size(), kMaxDatagram);
        Answer answer;
        ASSERT_EQ(decodeAnswer(datagram, answer), Status::Ok) << size;
        EXPECT_EQ(answer.nonce, 0xA1B2C3D4u);
        EXPECT_EQ(answer.mac, kMac);
        EXPECT_EQ(answer.xml, xml);
    }
    EXPECT_EQ(validAnswer(std::string(kMaxXml, 'x')).size(), kMaxDatagram);
}

TEST(WireAnswer, EveryTruncatedLengthIsRefused)
{
    const Bytes full = validAnswer("<multicastSearchResult>x</multicastSearchResult>");
    for (std::size_t length = 0; length < full.size(); ++length) {
        Answer answer;
        EXPECT_EQ(decodeAnswer({full.data(), length}, answer), Status::Truncated) << length;
    }
}

// Each row damages a valid answer in one way.
struct Damage
{
    const char* name;
    void (*apply)(Bytes&);
    Status expected;
};

const Damage kDamages[] = {
    {"bad magic", [](Bytes& d) { d[0] = 'X'; }, Status::BadMagic},
    {"next version", [](Bytes& d) { d[4] = 2; }, Status::BadVersion},
    {"probe kind", [](Bytes& d) { d[5] = kKindProbe; }, Status::WrongKind},
    {"unknown kind", [](Bytes& d) { d[5] = 9; }, Status::WrongKind},
    {"reserved bits set", [](Bytes& d) { d[6] = 0xFF; }, Status::Ok},
    {"trailing byte", [](Bytes& d) { d.push_back(0); }, Status::TrailingBytes},
    {"declared length too long", [](Bytes& d) { d[18] += 1; }, Status::Truncated},
    {"declared length too short", [](Bytes& d) { d[18] -= 1; }, Status::TrailingBytes},
    {"declared length 64 KiB too long", [](Bytes& d) { d[19] = 0xFF; }, Status::Truncated},
    {"no MAC", [](Bytes& d) { std::fill(d.begin() + 12, d.begin() + 18, 0); }, Status::InvalidMac},
    {"multicast MAC", [](Bytes& d) { d[12] = 0x01; }, Status::InvalidMac},
    {"broadcast MAC", [](Bytes& d) { std::fill(d.begin() + 12, d.begin() + 18, 0xFF); },
     Status::InvalidMac},
    {"empty XML", [](Bytes& d) { d.resize(kAnswerFixedSize), d[18] = 0, d[19] = 0; },
     Status::EmptyXml},
    {"NUL in XML", [](Bytes& d) { d[21] = 0; }, Status::XmlWithNul},
    {"oversized datagram", [](Bytes& d) { d.resize(kMaxDatagram + 1, 'x'); }, Status::TooLarge},
};

TEST(WireAnswer, DamagedAnswersAreRefusedForTheirReason)
{
    for (const auto& damage : kDamages) {
        Bytes datagram = validAnswer("<abc/>");
        damage.apply(datagram);
        Answer answer;
        EXPECT_EQ(decodeAnswer(datagram, answer), damage.expected) << damage.name;
    }
}

TEST(WireAnswer, ProbeIsNotAnAnswerAndAnswerIsNotAProbe)
{
    Answer answer;
    EXPECT_EQ(decodeAnswer(encodeProbe({1}), answer), Status::WrongKind);
    Probe probe;
    EXPECT_EQ(decodeProbe(validAnswer(), probe), Status::WrongKind);
}

TEST(WireAnswer, EncoderRefusesWhatTheDecoderWouldDrop)
{
    struct Row
    {
        const char* name;
        Answer answer;
        Status expected;
    };
    const Row rows[] = {
        {"no MAC", {1, MacAddress{}, "<a/>"}, Status::InvalidMac},
        {"group MAC", {1, MacAddress{{0x01, 0, 0x5E, 0, 0, 1}}, "<a/>"}, Status::InvalidMac},
        {"empty XML", {1, kMac, ""}, Status::EmptyXml},
        {"XML one byte too long", {1, kMac, std::string(kMaxXml + 1, 'x')}, Status::TooLarge},
        {"NUL in XML", {1, kMac, std::string("<a>\0</a>", 8)}, Status::XmlWithNul},
    };
    for (const auto& row : rows) {
        Bytes datagram = {1, 2, 3};
        EXPECT_EQ(encodeAnswer(row.answer, datagram), row.expected) << row.name;
        EXPECT_TRUE(datagram.empty()) << row.name;
    }
}

TEST(MacAddressText, ParsesEitherCaseAndPrintsUpperCase)
{
    const auto mac = MacAddress::parse("00:1a:2B:3c:4D:5e");
    ASSERT_TRUE(mac);
    EXPECT_EQ(*mac, kMac);
    EXPECT_EQ(mac->text(), "00:1A:2B:3C:4D:5E");
}

TEST(MacAddressText, RefusesAnythingButSixColonSeparatedPairs)
{
    for (const char* text : {"", "00:1A:2B:3C:4D", "00:1A:2B:3C:4D:5E:", "00-1A-2B-3C-4D-5E",
                             "001A:2B:3C:4D:5E:6", "0G:1A:2B:3C:4D:5E", " 00:1A:2B:3C:4D:5E"}) {
        EXPECT_FALSE(MacAddress::parse(text)) << text;
    }
}

TEST(MacAddressText, UnicastMeansNotZeroAndNotAGroup)
{
    EXPECT_TRUE(kMac.isUnicast());
    EXPECT_FALSE(MacAddress{}.isUnicast());
    EXPECT_FALSE(MacAddress::parse("01:00:5E:00:00:01")->isUnicast());
    EXPECT_FALSE(MacAddress::parse("FF:FF:FF:FF:FF:FF")->isUnicast());
    EXPECT_TRUE(MacAddress::parse("02:00:00:00:00:01")->isUnicast());
}

} // namespace
} // namespace galvorn::searchlib::wire
