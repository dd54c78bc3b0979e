// Starting, stopping and quitting the library, also from inside its own callbacks.

#include "callbackrecorder.h"
#include "testkit/devsimprocess.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;

void ignoreAnswer(const char*, int, const char*, void*) {}

TEST(SearchInterface, RefusesCallsOutOfOrderAndBadArguments)
{
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(5), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_StopAuto(), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_Initial(nullptr, nullptr, 32), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_Initial(&ignoreAnswer, nullptr, 0), QUARLO_SEARCH_ERROR);

    ASSERT_EQ(QUARLO_SEARCH_Initial(&ignoreAnswer, nullptr, 32), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_Initial(&ignoreAnswer, nullptr, 32), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(0), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(-5), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(galvorn::searchlib::startAutoMilliseconds(1), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(5), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(7), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_StopAuto(), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_StopAuto(), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_ERROR);
    EXPECT_EQ(QUARLO_SEARCH_StartAuto(5), QUARLO_SEARCH_ERROR);
}

// Cameras that answer several times per callback delivery, for the tests below.
class LifecycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string config;
        for (int i = 0; i < 32; ++i)
            config += testCameraSection(i);
        std::string error;
        ASSERT_TRUE(devsim_.start(config, error)) << error;
    }

    DevsimProcess devsim_;
};

// Records callbacks and flags any that runs after its library instance's Quit returned.
struct QuitProbe
{
    CallbackRecorder recorder;
    std::atomic<bool> quitReturned{false};
    std::atomic<bool> lateCall{false};

    static void callback(const char* mac, int type, const char* xml, void* self)
    {
        auto* probe = static_cast<QuitProbe*>(self);
        if (probe->quitReturned)
            probe->lateCall = true;
        probe->recorder.record(mac, type, xml);
    }
};

TEST_F(LifecycleTest, QuitWhileAnswersStreamInEndsEveryCallback)
{
    constexpr int kRounds = 12;
    std::vector<std::unique_ptr<QuitProbe>> probes;
    for (int round = 0; round < kRounds; ++round) {
        probes.push_back(std::make_unique<QuitProbe>());
        QuitProbe& probe = *probes.back();
        ASSERT_EQ(QUARLO_SEARCH_Initial(&QuitProbe::callback, &probe, 32), QUARLO_SEARCH_OK);
        ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(20), QUARLO_SEARCH_OK);
        // Quit lands at a different point of the stream in each round.
        const std::size_t wanted = 1 + round * 2;
        ASSERT_TRUE(
            probe.recorder.waitFor([&](const Events& e) { return e.size() >= wanted; }, 5s));
        ASSERT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
        probe.quitReturned = true;
    }
    // Each later round ran a full search while the earlier instances stayed silent.
    for (const auto& probe : probes)
        EXPECT_FALSE(probe->lateCall);
}

// A callback that holds its first call until the test lets it go.
struct GateProbe
{
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
    bool finished = false;
    std::function<void()> inside;

    static void callback(const char*, int, const char*, void* self)
    {
        static_cast<GateProbe*>(self)->call();
    }

    void call()
    {
        std::unique_lock lock(mutex);
        if (entered)
            return;
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
        lock.unlock();
        if (inside)
            inside();
        lock.lock();
        finished = true;
    }

    bool waitEntered()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return entered; });
    }

    void release()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
    }

    bool hasFinished()
    {
        std::lock_guard lock(mutex);
        return finished;
    }
};

TEST_F(LifecycleTest, StopAndQuitWaitForTheCallbackInProgress)
{
    struct Row
    {
        const char* name;
        int (*call)();
    };
    const Row rows[] = {{"StopAuto", &QUARLO_SEARCH_StopAuto}, {"Quit", &QUARLO_SEARCH_Quit}};
    for (const auto& row : rows) {
        GateProbe gate;
        ASSERT_EQ(QUARLO_SEARCH_Initial(&GateProbe::callback, &gate, 32), QUARLO_SEARCH_OK);
        ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(100), QUARLO_SEARCH_OK);
        ASSERT_TRUE(gate.waitEntered()) << row.name;

        std::atomic<bool> finishedWhenReturned{false};
        std::thread caller([&] {
            EXPECT_EQ(row.call(), QUARLO_SEARCH_OK) << row.name;
            finishedWhenReturned = gate.hasFinished();
        });
        gate.release();
        caller.join();
        EXPECT_TRUE(finishedWhenReturned) << row.name;
        QUARLO_SEARCH_Quit();
    }
}

TEST_F(LifecycleTest, StopAutoInsideACallbackEndsTheSearchWithoutDeadlock)
{
    CallbackRecorder recorder;
    std::atomic<int> stopResult{1};
    struct Context
    {
        CallbackRecorder* recorder;
        std::atomic<int>* stopResult;
    } context{&recorder, &stopResult};
    const auto callback = [](const char* mac, int type, const char* xml, void* user) {
        auto* c = static_cast<Context*>(user);
        if (*c->stopResult == 1)
            *c->stopResult = QUARLO_SEARCH_StopAuto();
        c->recorder->record(mac, type, xml);
    };
    ASSERT_EQ(QUARLO_SEARCH_Initial(callback, &context, 32), QUARLO_SEARCH_OK);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(100), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder.waitFor([](const Events& e) { return !e.empty(); }, 5s));
    EXPECT_EQ(stopResult, QUARLO_SEARCH_OK);
    // The stopped search delivered nothing after the stopping callback: the other 31
    // answers of the same round were dropped.
    EXPECT_EQ(QUARLO_SEARCH_StopAuto(), QUARLO_SEARCH_OK);
    EXPECT_EQ(recorder.events().size(), 1u);

    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(100), QUARLO_SEARCH_OK);
    EXPECT_TRUE(recorder.waitFor(
        [](const Events& e) { return CallbackRecorder::count(e, QUARLO_SEARCH_DEVICE_NEW) == 33; },
        5s));
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
}

TEST_F(LifecycleTest, QuitInsideACallbackIsRefused)
{
    // The recorder notes the result of each Quit attempt as the callback's type.
    CallbackRecorder recorder;
    const auto callback = [](const char* mac, int, const char*, void* user) {
        static_cast<CallbackRecorder*>(user)->record(mac, QUARLO_SEARCH_Quit(), "");
    };
    ASSERT_EQ(QUARLO_SEARCH_Initial(callback, &recorder, 32), QUARLO_SEARCH_OK);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(100), QUARLO_SEARCH_OK);
    ASSERT_TRUE(recorder.waitFor([](const Events& e) { return e.size() >= 2; }, 5s));
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
    for (const auto& e : recorder.events())
        EXPECT_EQ(e.type, QUARLO_SEARCH_ERROR);
}

} // namespace
} // namespace galvorn::testing
