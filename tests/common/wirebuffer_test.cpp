#include "common/wirebuffer.h"

#include <gtest/gtest.h>
#include <vector>

using galvorn::common::WireReader;
using galvorn::common::WireWriter;

namespace {

TEST(WireBuffer, FieldsRoundTripLittleEndian)
{
    WireWriter writer;
    writer.u8(0x12);
    writer.u16(0x3456);
    writer.u32(0x789ABCDE);
    writer.u64(0x0102030405060708ull);
    writer.text("ab", 4);
    const std::vector<std::uint8_t> expected = {0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78,
                                                0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02,
                                                0x01, 'a',  'b',  0,    0};
    ASSERT_EQ(writer.data(), expected);

    WireReader reader(expected);
    EXPECT_EQ(reader.u8(), 0x12);
    EXPECT_EQ(reader.u16(), 0x3456);
    EXPECT_EQ(reader.u32(), 0x789ABCDEu);
    EXPECT_EQ(reader.u64(), 0x0102030405060708ull);
    EXPECT_EQ(reader.bytes(4).size(), 4u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(WireBuffer, TextIsCutToItsWidth)
{
    WireWriter writer;
    writer.text("abcdef", 3);
    EXPECT_EQ(writer.data(), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
}

TEST(WireBuffer, EveryShortBufferFailsOnceAndStaysFailed)
{
    const std::vector<std::uint8_t> full(15, 0xAB);
    for (std::size_t size = 0; size < full.size(); ++size) {
        WireReader reader(std::span<const std::uint8_t>(full.data(), size));
        reader.u8();
        reader.u16();
        reader.u32();
        const std::uint64_t last = reader.u64();
        EXPECT_FALSE(reader.ok()) << size;
        EXPECT_EQ(last, 0u) << size;
        // A failed reader yields nothing more, even where bytes would remain.
        EXPECT_EQ(reader.u8(), 0u) << size;
        EXPECT_TRUE(reader.bytes(0).empty()) << size;
    }
    WireReader whole(full);
    whole.u8();
    whole.u16();
    whole.u32();
    whole.u64();
    EXPECT_TRUE(whole.ok());
}

} // namespace

TEST(WireReader, FixedWidthTextStopsAtTheFirstNulAndKeepsAFullField)
{
    const std::uint8_t bytes[] = {'a', 'b', 0, 'x', 'c', 'd', 'e', 'f'};
    galvorn::common::WireReader reader(bytes);
    EXPECT_EQ(reader.text(4), "ab") << "bytes after the NUL belong to the field, not the text";
    EXPECT_EQ(reader.text(4), "cdef") << "a field without a NUL is all text";
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.text(1), "");
    EXPECT_FALSE(reader.ok()) << "reading past the end";
}
