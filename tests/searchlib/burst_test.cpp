// A burst of datagrams larger than the library's receive buffer, against simulated
// cameras: answers are lost, the loss is counted, and no tracked camera is reported gone.

#include "callbackrecorder.h"
#include "fakecamera.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "searchlib/wire.h"
#include "testkit/devsimprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;
namespace wire = searchlib::wire;
constexpr auto& distinctNew = CallbackRecorder::distinctNew;

// Records callbacks; on request, holds the library's thread inside the next callback
// until released, so that nothing reads the socket while a test fills it.
class HoldingRecorder
{
public:
    static void callback(const char* mac, int type, const char* xml, void* self)
    {
        static_cast<HoldingRecorder*>(self)->onCallback(mac, type, xml);
    }

    void holdNext()
    {
        std::lock_guard lock(mutex_);
        holdNext_ = true;
    }
    bool awaitHeld(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return held_; });
    }
    void release()
    {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }

    CallbackRecorder recorder;

private:
    void onCallback(const char* mac, int type, const char* xml)
    {
        recorder.record(mac, type, xml);
        std::unique_lock lock(mutex_);
        if (!holdNext_)
            return;
        holdNext_ = false;
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool holdNext_ = false;
    bool held_ = false;
};

class Burst : public ::testing::Test
{
protected:
    static constexpr int kCameras = 64;
    static constexpr auto kPeriod = 400ms;

    void SetUp() override
    {
        std::string config;
        for (int i = 0; i < kCameras; ++i)
            config += testCameraSection(i);
        std::string error;
        ASSERT_TRUE(devsim_.start(config, error)) << error;
        ASSERT_TRUE(flood_.ready());
        ASSERT_EQ(QUARLO_SEARCH_Initial(&HoldingRecorder::callback, &holder_, 32),
                  QUARLO_SEARCH_OK);
    }
    // A test that failed while the library was held lets it go before quitting it.
    void TearDown() override
    {
        holder_.release();
        EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
    }

    DevsimProcess devsim_;
    FakeCamera flood_;
    HoldingRecorder holder_;
};

TEST_F(Burst, LargerThanTheReceiveBufferMakesNoTrackedCameraGone)
{
    ASSERT_EQ(searchlib::startAutoMilliseconds(kPeriod.count()), QUARLO_SEARCH_OK);
    ASSERT_TRUE(
        holder_.recorder.waitFor([](const Events& e) { return distinctNew(e) == kCameras; }, 5s));
    FakeCamera::Probe probe;
    ASSERT_TRUE(flood_.awaitProbe(probe, 2s));
    const searchlib::SearchStatistics before = searchlib::searchStatistics();
    ASSERT_GT(before.receiveBufferBytes, 0);

    // A change makes every camera's next answer a callback; the first one holds the
    // library while answers of the largest size, from another search, fill its buffer
    // twice over.
    holder_.holdNext();
    ASSERT_EQ(devsim_.command("set * devName Renamed"), "ok");
    ASSERT_TRUE(holder_.awaitHeld(5s));
    std::vector<std::uint8_t> stale;
    ASSERT_EQ(
        wire::encodeAnswer(
            {probe.nonce + 1, {{0x02, 0, 0, 0, 0, 1}}, std::string(wire::kMaxXml, 'x')}, stale),
        wire::Status::Ok);
    const int datagrams = 2 * before.receiveBufferBytes / static_cast<int>(wire::kMaxDatagram);
    for (int i = 0; i < datagrams; ++i)
        ASSERT_TRUE(flood_.send(probe, stale));
    holder_.release();

    // Gone would come three periods after a camera's last answer; wait four.
    const auto anyGone = [](const Events& events) {
        return CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_GONE) != 0;
    };
    EXPECT_FALSE(holder_.recorder.waitFor(anyGone, 4 * kPeriod));
    EXPECT_GT(searchlib::searchStatistics().lostAnswers, before.lostAnswers);
    const Events events = holder_.recorder.events();
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_NEW), std::size_t{kCameras});
    for (int i = 0; i < kCameras; ++i) {
        const std::string mac = testCameraMac(i);
        EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const auto& e) {
            return e.mac == mac && e.xml.find("Renamed") != std::string::npos;
        })) << mac;
    }
}

} // namespace
} // namespace galvorn::testing
