// The device states as the application sees them, against simulated cameras.

#include "callbackrecorder.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "testkit/devsimprocess.h"

#include <gtest/gtest.h>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;
using Clock = CallbackRecorder::Clock;

constexpr auto& distinctNew = CallbackRecorder::distinctNew;

std::string camerasConfig(int count)
{
    std::string config;
    for (int i = 0; i < count; ++i)
        config += testCameraSection(i);
    return config;
}

class SearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QUARLO_SEARCH_Initial(&CallbackRecorder::callback, &recorder_, 32),
                  QUARLO_SEARCH_OK);
    }
    void TearDown() override { EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK); }

    void startCameras(int count)
    {
        std::string error;
        ASSERT_TRUE(devsim_.start(camerasConfig(count), error)) << error;
    }

    // The XML of the camera's most recent callback.
    std::string lastXml(const std::string& mac) const
    {
        std::string xml;
        for (const auto& e : recorder_.events()) {
            if (e.mac == mac)
                xml = e.xml;
        }
        return xml;
    }

    CallbackRecorder recorder_;
    DevsimProcess devsim_;
};

TEST_F(SearchTest, EveryCameraIsNewWithinOnePeriodWithItsOwnMacAndXml)
{
    constexpr int kCameras = 8;
    constexpr auto kPeriod = 1000ms;
    startCameras(kCameras);
    const auto started = Clock::now();
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(kPeriod.count()), QUARLO_SEARCH_OK);

    ASSERT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == kCameras; }, 5s));
    const Events events = recorder_.events();
    for (int i = 0; i < kCameras; ++i) {
        const std::string mac = testCameraMac(i);
        ASSERT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_NEW, mac), 1u) << mac;
        for (const auto& e : events) {
            if (e.mac != mac || e.type != QUARLO_SEARCH_DEVICE_NEW)
                continue;
            EXPECT_LT(e.at - started, kPeriod) << mac;
            EXPECT_NE(e.xml.find("<devName>Camera " + std::to_string(i) + "</devName>"),
                      std::string::npos)
                << e.xml;
            EXPECT_NE(e.xml.find("<multicastSearchResult>"), std::string::npos);
        }
    }
}

TEST_F(SearchTest, ChangedFieldGivesChangedWithTheNewXml)
{
    constexpr auto kPeriod = 400ms;
    startCameras(2);
    const std::string mac = testCameraMac(1);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(kPeriod.count()), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == 2; }, 5s));

    ASSERT_EQ(devsim_.command("set " + mac + " softwareVer 3.3.1"), "ok");
    const auto isRenamed = [&](const CallbackRecorder::Event& e) {
        return e.mac == mac && e.xml.find("<softwareVer>3.3.1</softwareVer>") != std::string::npos;
    };
    ASSERT_TRUE(recorder_.waitFor(
        [&](const Events& events) { return std::any_of(events.begin(), events.end(), isRenamed); },
        3 * kPeriod));
    for (const auto& e : recorder_.events()) {
        if (isRenamed(e)) {
            EXPECT_EQ(e.type, QUARLO_SEARCH_DEVICE_CHANGED);
        }
    }
    const Events events = recorder_.events();
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_NEW, mac), 1u);
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_GONE), 0u);
    EXPECT_EQ(lastXml(testCameraMac(0)).find("3.3.1"), std::string::npos);
}

TEST_F(SearchTest, SilencedCameraIsGoneAfterThreePeriodsAndRevivedIsNewAgain)
{
    constexpr auto kPeriod = 300ms;
    startCameras(2);
    const std::string mac = testCameraMac(0);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(kPeriod.count()), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == 2; }, 5s));

    ASSERT_EQ(devsim_.command("silence " + mac), "ok");
    const auto silenced = Clock::now();
    const std::string xmlBefore = lastXml(mac);
    const auto isGone = [&](const Events& events) {
        return CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_GONE, mac) == 1;
    };
    ASSERT_TRUE(recorder_.waitFor(isGone, 8 * kPeriod));

    const Events events = recorder_.events();
    const auto gone = std::find_if(events.begin(), events.end(), [&](const auto& e) {
        return e.mac == mac && e.type == QUARLO_SEARCH_DEVICE_GONE;
    });
    // The last answer came at most half a period before the silence; gone is reported at
    // the first probe round three periods after it.
    EXPECT_GE(gone->at - silenced, 5 * kPeriod / 2 - 50ms);
    EXPECT_LE(gone->at - silenced, 4 * kPeriod + 500ms);
    EXPECT_EQ(gone->xml, xmlBefore);
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_GONE, testCameraMac(1)), 0u);

    ASSERT_EQ(devsim_.command("revive " + mac), "ok");
    ASSERT_TRUE(recorder_.waitFor(
        [&](const Events& e) {
            return CallbackRecorder::count(e, QUARLO_SEARCH_DEVICE_NEW, mac) == 2;
        },
        2 * kPeriod + 500ms));
}

TEST_F(SearchTest, RestartReportsKnownCamerasAsNewAgain)
{
    startCameras(3);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(500), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == 3; }, 5s));
    ASSERT_EQ(QUARLO_SEARCH_StopAuto(), QUARLO_SEARCH_OK);
    const std::size_t before = recorder_.events().size();
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(500), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder_.waitFor(
        [](const Events& e) { return CallbackRecorder::count(e, QUARLO_SEARCH_DEVICE_NEW) == 6; },
        5s));
    const Events events = recorder_.events();
    for (std::size_t i = before; i < events.size(); ++i)
        EXPECT_NE(events[i].type, QUARLO_SEARCH_DEVICE_GONE);
}

TEST_F(SearchTest, ForeignAndMalformedXmlIsDeliveredAsTheCameraSentIt)
{
    startCameras(1);
    const std::string mac = testCameraMac(0);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(200), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == 1; }, 5s));

    struct Row
    {
        const char* command;
        std::function<bool(const std::string&)> matches;
    };
    const Row rows[] = {
        {"answer * foreign",
         [](const std::string& xml) {
             return xml.find("<deviceSearchResult>") != std::string::npos;
         }},
        {"set * productSeries XNC_IPC",
         [](const std::string& xml) { return xml.find("XNC_IPC") != std::string::npos; }},
        {"answer * malformed",
         [](const std::string& xml) {
             return xml.find("</multicastSearchResult>") == std::string::npos;
         }},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(devsim_.command(row.command), "ok");
        EXPECT_TRUE(recorder_.waitFor(
            [&](const Events& events) {
                return !events.empty() && events.back().type == QUARLO_SEARCH_DEVICE_CHANGED &&
                       row.matches(events.back().xml);
            },
            2s))
            << row.command;
    }
}

TEST_F(SearchTest, TwoHundredFiftySixCamerasWithinOnePeriodPlusOneSecond)
{
    constexpr int kCameras = 256;
    startCameras(kCameras);
    const auto started = Clock::now();
    ASSERT_EQ(QUARLO_SEARCH_StartAuto(1), QUARLO_SEARCH_OK);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(2s - (Clock::now() - started));
    EXPECT_TRUE(recorder_.waitFor([](const Events& e) { return distinctNew(e) == kCameras; }, left))
        << distinctNew(recorder_.events()) << " of " << kCameras;
}

} // namespace
} // namespace galvorn::testing
