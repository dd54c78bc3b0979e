// What the library does with answers it must not trust, and where it sends its probes.
// A raw peer on the search group stands in for the cameras.

#include "callbackrecorder.h"
#include "fakecamera.h"
#include "searchlib/devicetable.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "searchlib/searchpolicy.h"
#include "searchlib/wire.h"

#include <gtest/gtest.h>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;
using Bytes = std::vector<std::uint8_t>;
namespace wire = searchlib::wire;

searchlib::MacAddress macNumber(std::uint32_t n)
{
    return {{0x02, 0x00, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
             static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}};
}

Bytes answer(std::uint32_t nonce, const searchlib::MacAddress& mac, const std::string& xml,
             std::uint8_t version = wire::kVersion)
{
    Bytes datagram;
    EXPECT_EQ(wire::encodeAnswer({nonce, mac, xml, version}, datagram), wire::Status::Ok);
    return datagram;
}

class RobustnessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(camera_.ready());
        ASSERT_EQ(QUARLO_SEARCH_Initial(&CallbackRecorder::callback, &recorder_, 32),
                  QUARLO_SEARCH_OK);
        // Long enough that nothing goes gone while a test runs.
        ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(60'000), QUARLO_SEARCH_OK);
        ASSERT_TRUE(camera_.awaitProbe(probe_, 5s));
    }
    void TearDown() override { EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK); }

    bool waitForEvents(std::size_t count)
    {
        return recorder_.waitFor([&](const Events& e) { return e.size() >= count; }, 10s);
    }

    FakeCamera camera_;
    FakeCamera::Probe probe_;
    CallbackRecorder recorder_;
};

TEST_F(RobustnessTest, MalformedDatagramsAreDroppedAndTheNextGoodAnswerCounts)
{
    const auto good = macNumber(1);
    Bytes oversized = answer(probe_.nonce, good, std::string(wire::kMaxXml, 'x'));
    oversized.push_back('x');
    Bytes huge(60'000, 'x');
    Bytes badMagic = answer(probe_.nonce, good, "<a/>");
    badMagic[0] = 'q';
    Bytes noMac = answer(probe_.nonce, good, "<a/>");
    std::fill(noMac.begin() + 12, noMac.begin() + 18, 0);
    Bytes truncated = answer(probe_.nonce, good, "<a/>");
    truncated.pop_back();
    const Bytes probeEcho = wire::encodeProbe({probe_.nonce, 0, wire::kVersion});

    const Bytes garbage[] = {
        {},       {0xFF}, Bytes(64, 0xA5), oversized, huge,
        badMagic, noMac,  truncated,       probeEcho, answer(probe_.nonce + 1, good, "<stale/>"),
    };
    for (const auto& datagram : garbage)
        ASSERT_TRUE(camera_.send(probe_, datagram));
    ASSERT_TRUE(camera_.send(probe_, answer(probe_.nonce, good, "<good/>")));

    ASSERT_TRUE(waitForEvents(1));
    const Events events = recorder_.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].mac, good.text());
    EXPECT_EQ(events[0].type, QUARLO_SEARCH_DEVICE_NEW);
    EXPECT_EQ(events[0].xml, "<good/>");
}

// A camera that ignores the answer delay may answer in the first version.
TEST_F(RobustnessTest, AnswersOfTheFirstVersionAreTaken)
{
    ASSERT_TRUE(camera_.send(probe_, answer(probe_.nonce, macNumber(1), "<old/>", 1)));
    ASSERT_TRUE(waitForEvents(1));
    const Events events = recorder_.events();
    EXPECT_EQ(events[0].type, QUARLO_SEARCH_DEVICE_NEW);
    EXPECT_EQ(events[0].xml, "<old/>");
}

TEST_F(RobustnessTest, TrackedCamerasAreCappedAndKnownOnesStillUpdate)
{
    constexpr std::uint32_t kBatch = 256;
    const auto total = static_cast<std::uint32_t>(searchlib::kMaxTrackedCameras);
    // Batches that the receive buffer holds; each waits until the library caught up.
    for (std::uint32_t sent = 0; sent < total;) {
        for (std::uint32_t i = 0; i < kBatch; ++i, ++sent)
            ASSERT_TRUE(camera_.send(probe_, answer(probe_.nonce, macNumber(sent), "<a/>")));
        ASSERT_TRUE(waitForEvents(sent)) << recorder_.events().size() << " of " << sent;
    }
    for (std::uint32_t extra = 0; extra < 16; ++extra)
        ASSERT_TRUE(camera_.send(probe_, answer(probe_.nonce, macNumber(total + extra), "<a/>")));
    // The answers arrive in order: once this change is seen, the extra ones were handled.
    ASSERT_TRUE(camera_.send(probe_, answer(probe_.nonce, macNumber(7), "<b/>")));
    ASSERT_TRUE(waitForEvents(total + 1));

    const Events events = recorder_.events();
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_NEW), total);
    EXPECT_EQ(events.back().type, QUARLO_SEARCH_DEVICE_CHANGED);
    EXPECT_EQ(events.back().mac, macNumber(7).text());
}

class ProbeRounds : public ::testing::Test
{
protected:
    static constexpr auto kPeriod = 8000ms;

    void SetUp() override
    {
        ASSERT_TRUE(camera_.ready());
        ASSERT_EQ(QUARLO_SEARCH_Initial(&CallbackRecorder::callback, &recorder_, 32),
                  QUARLO_SEARCH_OK);
        ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(kPeriod.count()), QUARLO_SEARCH_OK);
    }
    void TearDown() override { EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK); }

    FakeCamera camera_;
    CallbackRecorder recorder_;
};

// Each probe round asks for the answer delay of the cameras tracked by then.
TEST_F(ProbeRounds, AskForTheAnswerDelayOfTheTrackedCameras)
{
    constexpr std::uint32_t kCameras = 1200;
    FakeCamera::Probe first;
    ASSERT_TRUE(camera_.awaitProbe(first, 5s));
    EXPECT_EQ(first.version, wire::kVersion);
    EXPECT_EQ(first.answerDelayMs, searchlib::answerDelayMs(0, kPeriod));
    EXPECT_EQ(searchlib::searchStatistics().answerDelayMs, first.answerDelayMs);

    // In batches that the receive buffer holds, so that none is lost.
    for (std::uint32_t i = 0; i < kCameras; ++i) {
        ASSERT_TRUE(camera_.send(first, answer(first.nonce, macNumber(i), "<a/>")));
        if (i % 200 == 199) {
            ASSERT_TRUE(recorder_.waitFor([&](const Events& e) { return e.size() > i; }, 10s));
        }
    }
    FakeCamera::Probe next;
    ASSERT_TRUE(camera_.awaitProbe(next, kPeriod));
    EXPECT_EQ(next.nonce, first.nonce);
    EXPECT_EQ(next.answerDelayMs, searchlib::answerDelayMs(kCameras, kPeriod));
    EXPECT_GT(next.answerDelayMs, first.answerDelayMs);
}

} // namespace
} // namespace galvorn::testing
