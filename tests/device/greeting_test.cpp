#include "device/greeting.h"

#include <gtest/gtest.h>
#include <vector>

using galvorn::device::DeviceGreeting;
using galvorn::device::ReadGreeting;

namespace {

// A greeting written byte by byte, apart from the reader.
std::vector<std::uint8_t> sampleGreeting()
{
    std::vector<std::uint8_t> bytes(64, 0xEE);
    auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(4, 0x11223344);
    put(8, 0x55667788);
    put(12, 3);
    put(16, 0x99AABBCC);
    put(24, 0x10000);
    bytes[28] = 0xA1;
    bytes[29] = 0xB2;
    bytes[30] = 0xC3;
    bytes[31] = 0xD4;
    bytes[45] = 0x56;
    bytes[46] = 0x34;
    bytes[47] = 0x12;
    bytes[52] = 2;
    return bytes;
}

TEST(Greeting, FieldsComeFromTheirOffsets)
{
    const std::vector<std::uint8_t> bytes = sampleGreeting();
    DeviceGreeting greeting;
    ASSERT_TRUE(ReadGreeting(bytes, greeting));
    EXPECT_EQ(greeting.word4, 0x11223344u);
    EXPECT_EQ(greeting.word8, 0x55667788u);
    EXPECT_EQ(greeting.version, 3u);
    EXPECT_EQ(greeting.word16, 0x99AABBCCu);
    EXPECT_EQ(greeting.cipherType, 0x10000u);
    EXPECT_EQ(greeting.cipherKey, (std::array<std::uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(greeting.challenge, 0x123456u);
    EXPECT_EQ(greeting.passwordMode, 2);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), greeting.bytes.begin()));
}

TEST(Greeting, EveryShorterBufferIsRefusedAndLeavesTheRecordAlone)
{
    const std::vector<std::uint8_t> bytes = sampleGreeting();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        DeviceGreeting greeting;
        greeting.version = 77;
        EXPECT_FALSE(ReadGreeting(std::span(bytes.data(), size), greeting)) << size;
        EXPECT_EQ(greeting.version, 77u) << size;
    }
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(1);
    DeviceGreeting greeting;
    EXPECT_TRUE(ReadGreeting(longer, greeting));
}

} // namespace
