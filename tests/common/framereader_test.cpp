#include "common/framereader.h"

#include "tests/common/allocationprobe.h"
#include "tests/common/loopback.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using galvorn::common::Frame;
using galvorn::common::FrameReader;
using Event = FrameReader::Event;
using namespace testnet;

namespace {

// What the reader reported, with the message bytes for Message events.
struct Seen
{
    Event event;
    std::vector<std::uint8_t> message;
    bool operator==(const Seen&) const = default;
};

// Feeds `stream` in pieces of `piece` bytes (0: all at once) and collects every event.
std::vector<Seen> drive(const std::vector<std::uint8_t>& stream, std::size_t piece,
                        std::size_t limit = SIZE_MAX)
{
    FrameReader reader;
    std::vector<Seen> seen;
    const std::size_t end = std::min(limit, stream.size());
    std::size_t at = 0;
    while (at < end) {
        const std::size_t size = piece == 0 ? end - at : std::min(piece, end - at);
        std::span<const std::uint8_t> chunk(stream.data() + at, size);
        while (!chunk.empty()) {
            std::size_t consumed = 0;
            const Event event = reader.feed(chunk, consumed);
            EXPECT_LE(consumed, chunk.size());
            chunk = chunk.subspan(consumed);
            if (event == Event::NeedMore) {
                EXPECT_TRUE(chunk.empty());
                break;
            }
            seen.push_back({event, event == Event::Message ? reader.takeMessage()
                                                           : std::vector<std::uint8_t>{}});
        }
        at += size;
    }
    return seen;
}

std::string describe(const std::vector<Seen>& seen)
{
    std::string text;
    for (const Seen& entry : seen)
        text += std::to_string(static_cast<int>(entry.event)) + ":" +
                std::to_string(entry.message.size()) + " ";
    return text;
}

// A stream that uses every kind of frame: a message, keep-alives, and two messages
// fragmented on channels 1 and 0 whose fragments interleave.
struct MixedStream
{
    std::vector<std::uint8_t> first = patterned(40, 1);
    std::vector<std::uint8_t> a = patterned(300, 2); // channel 1, three fragments
    std::vector<std::uint8_t> b = patterned(50, 3);  // channel 0, two fragments
    std::vector<std::uint8_t> bytes;
    // Stream offsets at which each expected event is complete.
    std::vector<std::pair<std::size_t, Seen>> events;

    MixedStream()
    {
        auto add = [this](const std::vector<std::uint8_t>& frame, std::optional<Seen> event) {
            bytes.insert(bytes.end(), frame.begin(), frame.end());
            if (event)
                events.push_back({bytes.size(), *event});
        };
        const std::vector<std::uint8_t> a1(a.begin(), a.begin() + 100);
        const std::vector<std::uint8_t> a2(a.begin() + 100, a.begin() + 250);
        const std::vector<std::uint8_t> a3(a.begin() + 250, a.end());
        const std::vector<std::uint8_t> b1(b.begin(), b.begin() + 20);
        const std::vector<std::uint8_t> b2(b.begin() + 20, b.end());
        add(frameBytes(first), Seen{Event::Message, first});
        add(keepAliveBytes(), Seen{Event::KeepAlive, {}});
        add(fragmentBytes({7, 3, 300, 1, 1, a1}), Seen{Event::Fragment, {}});
        add(fragmentBytes({9, 2, 50, 1, 0, b1}), Seen{Event::Fragment, {}});
        add(keepAliveBytes(), Seen{Event::KeepAlive, {}});
        add(fragmentBytes({7, 3, 300, 2, 1, a2}), Seen{Event::Fragment, {}});
        add(fragmentBytes({9, 2, 50, 2, 0, b2}), Seen{Event::Message, b});
        add(fragmentBytes({7, 3, 300, 3, 1, a3}), Seen{Event::Message, a});
    }

    std::vector<Seen> expectedWithin(std::size_t length) const
    {
        std::vector<Seen> expected;
        for (const auto& [end, event] : events) {
            if (end <= length)
                expected.push_back(event);
        }
        return expected;
    }
};

TEST(FrameReader, EveryPrefixOfTheStreamGivesExactlyTheFramesItHolds)
{
    const MixedStream stream;
    for (std::size_t length = 0; length <= stream.bytes.size(); ++length)
        ASSERT_EQ(drive(stream.bytes, 0, length), stream.expectedWithin(length))
            << "prefix of " << length << " bytes: " << describe(drive(stream.bytes, 0, length));
}

TEST(FrameReader, EveryPieceSizeGivesTheSameEvents)
{
    const MixedStream stream;
    const std::vector<Seen> expected = stream.expectedWithin(stream.bytes.size());
    ASSERT_EQ(expected.size(), 8u);
    for (std::size_t piece = 1; piece <= stream.bytes.size(); ++piece)
        ASSERT_EQ(drive(stream.bytes, piece), expected) << "pieces of " << piece;
}

TEST(FrameReader, AFrameAfterAnEventIsLeftForTheNextCall)
{
    const std::vector<std::uint8_t> one = patterned(10, 4);
    const std::vector<std::uint8_t> stream = concat({frameBytes(one), keepAliveBytes()});
    FrameReader reader;
    std::size_t consumed = 0;
    EXPECT_EQ(reader.feed(stream, consumed), Event::Message);
    EXPECT_EQ(consumed, 18u);
    EXPECT_TRUE(reader.atBoundary());
    EXPECT_EQ(reader.takeMessage(), one);
}

struct IgnoredCase
{
    const char* name;
    std::vector<std::uint8_t> stream;
    std::vector<Seen> expected;
};

TEST(FrameReader, FragmentsThatDoNotFitAreConsumedAndIgnored)
{
    const std::vector<std::uint8_t> whole = patterned(30, 5);
    const std::vector<std::uint8_t> head(whole.begin(), whole.begin() + 10);
    const std::vector<std::uint8_t> tail(whole.begin() + 10, whole.end());
    const std::vector<std::uint8_t> marker = patterned(3, 6);
    const Seen fragment{Event::Fragment, {}};
    const Seen message{Event::Message, whole};
    const Seen after{Event::Message, marker};
    const std::vector<IgnoredCase> cases = {
        {"channel 2",
         concat({fragmentBytes({1, 1, 30, 1, 2, whole}), frameBytes(marker)}),
         {fragment, after}},
        {"channel 0xFFFFFFFF",
         concat({fragmentBytes({1, 1, 30, 1, 0xFFFFFFFF, whole}), frameBytes(marker)}),
         {fragment, after}},
        {"other message id",
         concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({2, 2, 30, 2, 0, tail}),
                 fragmentBytes({1, 2, 30, 2, 0, tail})}),
         {fragment, fragment, message}},
        {"larger total",
         concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({1, 2, 31, 2, 0, tail}),
                 fragmentBytes({1, 2, 30, 2, 0, tail})}),
         {fragment, fragment, message}},
        {"smaller total",
         concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({1, 2, 29, 2, 0, tail}),
                 fragmentBytes({1, 2, 30, 2, 0, tail})}),
         {fragment, fragment, message}},
        {"other count",
         concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({1, 3, 30, 2, 0, tail}),
                 fragmentBytes({1, 2, 30, 2, 0, tail})}),
         {fragment, fragment, message}},
        {"continuation without a first fragment",
         concat({fragmentBytes({1, 2, 30, 2, 0, tail}), frameBytes(marker)}),
         {fragment, after}},
        {"bytes past the total",
         concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({1, 2, 30, 2, 0, whole}),
                 fragmentBytes({1, 2, 30, 2, 0, tail})}),
         {fragment, fragment, message}},
        {"first fragment longer than the total",
         concat({fragmentBytes({1, 1, 5, 1, 0, whole}), frameBytes(marker)}),
         {fragment, after}},
        {"empty fragments",
         concat({fragmentBytes({1, 3, 30, 1, 0, {}}), fragmentBytes({1, 3, 30, 2, 0, whole}),
                 fragmentBytes({1, 3, 30, 3, 0, {}})}),
         {fragment, fragment, message}},
        {"a new first fragment replaces an unfinished message",
         concat({fragmentBytes({1, 2, 30, 1, 1, tail}), fragmentBytes({1, 2, 30, 1, 1, head}),
                 fragmentBytes({1, 2, 30, 2, 1, tail})}),
         {fragment, fragment, message}},
    };
    for (const IgnoredCase& c : cases) {
        EXPECT_EQ(drive(c.stream, 0), c.expected) << c.name;
        EXPECT_EQ(drive(c.stream, 1), c.expected) << c.name << ", byte by byte";
    }
}

TEST(FrameReader, WrongMagicConsumesTheHeaderOnly)
{
    const std::vector<std::uint8_t> body = patterned(4, 7);
    std::vector<std::uint8_t> bad = frameBytes(body);
    bad[2] = '2';
    FrameReader reader;
    std::size_t consumed = 0;
    EXPECT_EQ(reader.feed(bad, consumed), Event::BadMagic);
    EXPECT_EQ(consumed, Frame::kHeaderSize);
    EXPECT_TRUE(reader.atBoundary());
}

TEST(FrameReader, LengthsAboveTheCapAreRefusedBeforeAnyBody)
{
    struct Row
    {
        const char* name;
        std::vector<std::uint8_t> stream;
        Event expected;
    };
    std::vector<std::uint8_t> atCap = {'1', '1', '1', '1'};
    putU32(atCap, Frame::kMaxMessageLength);
    std::vector<std::uint8_t> overCap = {'1', '1', '1', '1'};
    putU32(overCap, Frame::kMaxMessageLength + 1);
    std::vector<std::uint8_t> almostMarker = {'1', '1', '1', '1'};
    putU32(almostMarker, 0xFFFFFFFE);
    const std::vector<Row> rows = {
        {"body one above the cap", overCap, Event::TooLong},
        {"body 0xFFFFFFFE", almostMarker, Event::TooLong},
        {"fragment total above the cap",
         fragmentBytes({1, 2, Frame::kMaxMessageLength + 1, 1, 0, {}}), Event::TooLong},
        {"body at the cap", atCap, Event::NeedMore},
    };
    for (const Row& row : rows) {
        FrameReader reader;
        std::size_t consumed = 0;
        EXPECT_EQ(reader.feed(row.stream, consumed), row.expected) << row.name;
        EXPECT_EQ(consumed, row.stream.size()) << row.name;
    }
}

// Two fragment headers and a frame header, each declaring the longest message there may
// be, and one byte of the body: 73 bytes from a device that once pinned 192 MiB.
TEST(FrameReader, DeclaredLengthsAloneTakeOnlyTheInitialReservation)
{
    std::vector<std::uint8_t> header = {'1', '1', '1', '1'};
    putU32(header, Frame::kMaxMessageLength);
    const std::vector<std::uint8_t> stream =
        concat({fragmentBytes({1, 2, Frame::kMaxMessageLength, 1, 0, {}}),
                fragmentBytes({2, 2, Frame::kMaxMessageLength, 1, 1, {}}),
                header,
                {0x42}});
    ASSERT_EQ(stream.size(), 73u);

    auto reader = std::make_unique<FrameReader>();
    const std::size_t before = allocationprobe::live();
    allocationprobe::reset();
    std::span<const std::uint8_t> rest(stream);
    while (!rest.empty()) {
        std::size_t consumed = 0;
        reader->feed(rest, consumed);
        rest = rest.subspan(consumed);
    }
    EXPECT_LE(allocationprobe::largest(), Frame::kInitialReservation);
    EXPECT_LE(allocationprobe::live() - before, 3 * Frame::kInitialReservation + 4096);
}

TEST(FrameReader, BuffersGrowWithTheBytesThatArrive)
{
    const std::vector<std::uint8_t> body = patterned(5 * Frame::kInitialReservation, 9);
    const std::vector<std::uint8_t> fragmented =
        concat({fragmentBytes({1,
                               2,
                               static_cast<std::uint32_t>(body.size()),
                               1,
                               0,
                               {body.begin(), body.begin() + 100}}),
                fragmentBytes({1,
                               2,
                               static_cast<std::uint32_t>(body.size()),
                               2,
                               0,
                               {body.begin() + 100, body.end()}})});
    for (const auto& stream : {frameBytes(body), fragmented}) {
        const std::vector<Seen> seen = drive(stream, 777);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), (Seen{Event::Message, body}));
    }
}

TEST(FrameReader, ALastFragmentShortOfTheTotalEndsTheMessageWithoutOne)
{
    const std::vector<std::uint8_t> head = patterned(10, 4);
    const std::vector<std::uint8_t> marker = patterned(3, 6);
    const std::vector<std::uint8_t> stream =
        concat({fragmentBytes({1, 2, 30, 1, 0, head}), fragmentBytes({1, 2, 30, 2, 0, head}),
                frameBytes(marker)});
    const Seen fragment{Event::Fragment, {}};
    EXPECT_EQ(drive(stream, 0), (std::vector<Seen>{fragment, fragment, {Event::Message, marker}}));
}

} // namespace
