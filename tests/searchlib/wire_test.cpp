#include "searchlib/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace galvorn::searchlib::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

const MacAddress kMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

Bytes validAnswer(const std::string& xml = "<multicastSearchResult/>",
                  std::uint8_t version = kVersion)
{
    Bytes datagram;
    EXPECT_EQ(encodeAnswer({0xA1B2C3D4, kMac, xml, version}, datagram), Status::Ok);
    return datagram;
}

Probe probe(std::uint32_t nonce, std::uint16_t delayMs = 0, std::uint8_t version = kVersion)
{
    return {nonce, delayMs, version};
}

TEST(WireProbe, HasTheDocumentedLayoutInBothVersions)
{
    const Bytes version2 = {'Q', 'S', 'R', 'C', 2, 1, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE, 0xB8, 0x0B};
    EXPECT_EQ(encodeProbe(probe(0xDEADBEEF, 3000)), version2);
    const Bytes version1 = {'Q', 'S', 'R', 'C', 1, 1, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(encodeProbe(probe(0xDEADBEEF, 3000, kFirstVersion)), version1);
}

TEST(WireProbe, RoundTripsEveryNonceAndDelay)
{
    for (const std::uint32_t nonce : {0u, 1u, 0x80000000u, 0xFFFFFFFFu}) {
        for (const std::uint16_t delay : {0, 1, 2500, 0xFFFF}) {
            Probe decoded;
            ASSERT_EQ(decodeProbe(encodeProbe(probe(nonce, delay)), decoded), Status::Ok);
            EXPECT_EQ(decoded.nonce, nonce);
            EXPECT_EQ(decoded.answerDelayMs, delay);
            EXPECT_EQ(decoded.version, kVersion);
        }
    }
}

// Probes as every version of the library sends them, and as a later one may.
TEST(WireProbe, OlderAndLaterVersionsAreRead)
{
    struct Row
    {
        const char* name;
        Bytes datagram;
        std::uint16_t delay;
        std::uint8_t version;
        std::uint8_t answerVersion;
    };
    const Row rows[] = {
        {"version 1, no delay field", {'Q', 'S', 'R', 'C', 1, 1, 0, 0, 7, 0, 0, 0}, 0, 1, 1},
        {"version 2", {'Q', 'S', 'R', 'C', 2, 1, 0, 0, 7, 0, 0, 0, 0xE8, 0x03}, 1000, 2, 2},
        {"version 3 with a field of its own",
         {'Q', 'S', 'R', 'C', 3, 1, 0, 0, 7, 0, 0, 0, 0xE8, 0x03, 0xAA, 0xBB, 0xCC},
         1000,
         3,
         2},
    };
    for (const auto& row : rows) {
        Probe decoded;
        ASSERT_EQ(decodeProbe(row.datagram, decoded), Status::Ok) << row.name;
        EXPECT_EQ(decoded.nonce, 7u) << row.name;
        EXPECT_EQ(decoded.answerDelayMs, row.delay) << row.name;
        EXPECT_EQ(decoded.version, row.version) << row.name;
        EXPECT_EQ(answerVersionFor(decoded), row.answerVersion) << row.name;
    }
}

TEST(WireProbe, DamagedProbesAreRefusedForTheirReason)
{
    struct Row
    {
        const char* name;
        Bytes datagram;
        Status expected;
    };
    const Row rows[] = {
        {"version 0", {'Q', 'S', 'R', 'C', 0, 1, 0, 0, 7, 0, 0, 0}, Status::BadVersion},
        {"version 1 with a delay field",
         {'Q', 'S', 'R', 'C', 1, 1, 0, 0, 7, 0, 0, 0, 0xE8, 0x03},
         Status::TrailingBytes},
        {"version 2 without its delay field",
         {'Q', 'S', 'R', 'C', 2, 1, 0, 0, 7, 0, 0, 0},
         Status::Truncated},
        {"version 2 with a trailing byte",
         {'Q', 'S', 'R', 'C', 2, 1, 0, 0, 7, 0, 0, 0, 0xE8, 0x03, 0},
         Status::TrailingBytes},
        {"version 3 without the delay field",
         {'Q', 'S', 'R', 'C', 3, 1, 0, 0, 7, 0, 0, 0, 0xE8},
         Status::Truncated},
    };
    for (const auto& row : rows) {
        Probe decoded;
        EXPECT_EQ(decodeProbe(row.datagram, decoded), row.expected) << row.name;
    }
}

TEST(WireProbe, EveryTruncatedLengthIsRefused)
{
    const Bytes full = encodeProbe(probe(7, 100));
    ASSERT_EQ(full.size(), kProbeSize);
    for (std::size_t length = 0; length < full.size(); ++length) {
        Probe decoded;
        EXPECT_EQ(decodeProbe({full.data(), length}, decoded), Status::Truncated) << length;
    }
}

TEST(WireAnswer, HasTheDocumentedLayoutInBothVersions)
{
    for (const std::uint8_t version : {kFirstVersion, kVersion}) {
        const Bytes expected = {'Q',  'S',  'R',  'C',  version, 2,    0,    0,
                                0xD4, 0xC3, 0xB2, 0xA1, 0x00,    0x1A, 0x2B, 0x3C,
                                0x4D, 0x5E, 0x03, 0x00, 'a',     'b',  'c'};
        EXPECT_EQ(validAnswer("abc", version), expected) << int(version);
    }
}

// A camera that ignores the answer delay answers in version 1: the library reads it.
TEST(WireAnswer, AnswersOfEveryVersionAreRead)
{
    struct Row
    {
        std::uint8_t version;
        std::size_t appended;
    };
    for (const Row row : {Row{1, 0}, Row{2, 0}, Row{3, 4}}) {
        Bytes datagram = validAnswer("<a/>");
        datagram[4] = row.version;
        datagram.insert(datagram.end(), row.appended, 0xEE);
        Answer answer;
        ASSERT_EQ(decodeAnswer(datagram, answer), Status::Ok) << int(row.version);
        EXPECT_EQ(answer.version, row.version);
        EXPECT_EQ(answer.mac, kMac);
        EXPECT_EQ(answer.xml, "<a/>");
    }
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
    {"version 0", [](Bytes& d) { d[4] = 0; }, Status::BadVersion},
    {"version 1", [](Bytes& d) { d[4] = 1; }, Status::Ok},
    {"later version with a field of its own", [](Bytes& d) { d[4] = 9, d.push_back(0); },
     Status::Ok},
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

// Both decoders: the copying one and the one that leaves the document where it lies.
TEST(WireAnswer, DamagedAnswersAreRefusedForTheirReason)
{
    for (const auto& damage : kDamages) {
        Bytes datagram = validAnswer("<abc/>");
        damage.apply(datagram);
        Answer answer;
        EXPECT_EQ(decodeAnswer(datagram, answer), damage.expected) << damage.name;
        AnswerView view;
        EXPECT_EQ(decodeAnswerView(datagram, view), damage.expected) << damage.name;
        if (damage.expected == Status::Ok) {
            EXPECT_EQ(view.xml, "<abc/>") << damage.name;
            EXPECT_EQ(view.xml.data(),
                      reinterpret_cast<const char*>(datagram.data()) + kAnswerFixedSize)
                << damage.name;
        }
    }
}

TEST(WireAnswer, ProbeIsNotAnAnswerAndAnswerIsNotAProbe)
{
    Answer answer;
    EXPECT_EQ(decodeAnswer(encodeProbe(probe(1)), answer), Status::WrongKind);
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
        {"version 0", {1, kMac, "<a/>", 0}, Status::BadVersion},
        {"a version not written here", {1, kMac, "<a/>", kVersion + 1}, Status::BadVersion},
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
