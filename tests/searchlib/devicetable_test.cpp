#include "searchlib/devicetable.h"
#include "searchlib/quarlo_search.h"

#include <gtest/gtest.h>

namespace galvorn::searchlib {
namespace {

using namespace std::chrono_literals;
using Clock = DeviceTable::Clock;

MacAddress mac(std::uint8_t last)
{
    return MacAddress{{0x00, 0x1A, 0x2B, 0x00, 0x00, last}};
}

const Clock::time_point t0 = Clock::now();

TEST(DeviceTable, FirstAnswerIsNewRepeatedIsSilentDifferentIsChanged)
{
    DeviceTable table;
    auto first = table.answer(mac(1), "<a/>", t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, QUARLO_SEARCH_DEVICE_NEW);
    EXPECT_EQ(first->mac, mac(1));
    EXPECT_EQ(first->xml, "<a/>");

    EXPECT_FALSE(table.answer(mac(1), "<a/>", t0 + 1s));

    auto changed = table.answer(mac(1), "<b/>", t0 + 2s);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->type, QUARLO_SEARCH_DEVICE_CHANGED);
    EXPECT_EQ(changed->xml, "<b/>");
    EXPECT_EQ(table.size(), 1u);
}

TEST(DeviceTable, SilenceOfExactlyTheLimitIsGoneWithTheLastXml)
{
    DeviceTable table;
    table.answer(mac(1), "<a/>", t0);
    table.answer(mac(1), "<b/>", t0 + 1s);

    std::vector<DeviceTable::Event> events;
    table.expire(t0 + 1s + 2999ms, 3s, events);
    EXPECT_TRUE(events.empty());

    table.expire(t0 + 4s, 3s, events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, QUARLO_SEARCH_DEVICE_GONE);
    EXPECT_EQ(events[0].mac, mac(1));
    EXPECT_EQ(events[0].xml, "<b/>");
    EXPECT_EQ(table.size(), 0u);

    auto again = table.answer(mac(1), "<b/>", t0 + 5s);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->type, QUARLO_SEARCH_DEVICE_NEW);
}

TEST(DeviceTable, AnUnchangedAnswerStillKeepsTheCameraAlive)
{
    DeviceTable table;
    table.answer(mac(1), "<a/>", t0);
    table.answer(mac(1), "<a/>", t0 + 2s);
    std::vector<DeviceTable::Event> events;
    table.expire(t0 + 4s, 3s, events);
    EXPECT_TRUE(events.empty());
}

TEST(DeviceTable, GoneEventsComeInMacOrder)
{
    DeviceTable table;
    for (const std::uint8_t last : {9, 3, 7, 1})
        table.answer(mac(last), "<a/>", t0);
    std::vector<DeviceTable::Event> events;
    table.expire(t0 + 10s, 3s, events);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].mac, mac(1));
    EXPECT_EQ(events[1].mac, mac(3));
    EXPECT_EQ(events[2].mac, mac(7));
    EXPECT_EQ(events[3].mac, mac(9));
}

TEST(DeviceTable, FullTableDropsUnknownCamerasButUpdatesKnownOnes)
{
    DeviceTable table(2);
    ASSERT_TRUE(table.answer(mac(1), "<a/>", t0));
    ASSERT_TRUE(table.answer(mac(2), "<a/>", t0 + 2s));

    EXPECT_FALSE(table.answer(mac(3), "<a/>", t0 + 2s));
    EXPECT_EQ(table.refused(), 1u);
    auto changed = table.answer(mac(2), "<b/>", t0 + 2s);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->type, QUARLO_SEARCH_DEVICE_CHANGED);

    std::vector<DeviceTable::Event> events;
    table.expire(t0 + 3s, 3s, events);
    ASSERT_EQ(events.size(), 1u);
    auto admitted = table.answer(mac(3), "<a/>", t0 + 3s);
    ASSERT_TRUE(admitted);
    EXPECT_EQ(admitted->type, QUARLO_SEARCH_DEVICE_NEW);
}

MacAddress numbered(std::uint32_t n)
{
    return MacAddress{{0x02, 0, static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 1}};
}

// A table at the cap and one camera short of it, fed every kind of answer.
TEST(DeviceTable, AnswersAtAndAroundTheCap)
{
    struct Row
    {
        std::size_t tracked;
        bool unknownAdmitted;
    };
    for (const Row row : {Row{kMaxTrackedCameras - 1, true}, Row{kMaxTrackedCameras, false}}) {
        DeviceTable table;
        for (std::uint32_t i = 0; i < row.tracked; ++i)
            ASSERT_TRUE(table.answer(numbered(i), "<a/>", t0));

        const auto unknown = table.answer(numbered(90000), "<a/>", t0 + 1s);
        EXPECT_EQ(unknown.has_value(), row.unknownAdmitted) << row.tracked;
        EXPECT_EQ(table.refused(), row.unknownAdmitted ? 0u : 1u) << row.tracked;
        EXPECT_LE(table.size(), kMaxTrackedCameras);

        // A tracked camera repeating itself is kept alive without an event; one that
        // changes is reported; both also at the cap.
        EXPECT_FALSE(table.answer(numbered(0), "<a/>", t0 + 2s)) << row.tracked;
        const auto changed = table.answer(numbered(1), "<b/>", t0 + 2s);
        ASSERT_TRUE(changed) << row.tracked;
        EXPECT_EQ(changed->type, QUARLO_SEARCH_DEVICE_CHANGED);
        std::vector<DeviceTable::Event> gone;
        table.expire(t0 + 4s, 3s, gone);
        EXPECT_EQ(table.size(), 2u) << row.tracked;
        EXPECT_EQ(gone.size(), row.tracked + (row.unknownAdmitted ? 1 : 0) - 2) << row.tracked;
    }
}

// Once a camera of a full table is gone, exactly one unknown camera takes its place.
TEST(DeviceTable, AGoneCameraMakesRoomForExactlyOne)
{
    DeviceTable table;
    for (std::uint32_t i = 0; i < kMaxTrackedCameras; ++i)
        table.answer(numbered(i), "<a/>", i == 0 ? t0 : t0 + 2s);
    std::vector<DeviceTable::Event> gone;
    table.expire(t0 + 3s, 3s, gone);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_TRUE(table.answer(numbered(90000), "<a/>", t0 + 3s));
    EXPECT_FALSE(table.answer(numbered(90001), "<a/>", t0 + 3s));
    EXPECT_EQ(table.size(), kMaxTrackedCameras);
    EXPECT_EQ(table.refused(), 1u);
}

TEST(DeviceTable, DefaultCapacityIsTheDocumentedCap)
{
    DeviceTable table;
    for (std::uint32_t i = 0; i < kMaxTrackedCameras; ++i) {
        MacAddress m{{0x02, 0, static_cast<std::uint8_t>(i >> 16),
                      static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i), 1}};
        ASSERT_TRUE(table.answer(m, "<a/>", t0)) << i;
    }
    EXPECT_FALSE(table.answer(mac(1), "<a/>", t0));
    EXPECT_EQ(table.size(), kMaxTrackedCameras);
}

} // namespace
} // namespace galvorn::searchlib
