#include "discovery/networkwait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace {

using galvorn::discovery::NetworkWait;
using namespace std::chrono_literals;

// How long a test waits for the thread before it counts it as stuck. The waits end as
// soon as the thread is done; the limit only keeps a broken wait from holding the test.
constexpr auto kLimit = 10s;

bool readyWithin(const std::future<void>& future)
{
    return future.wait_for(kLimit) == std::future_status::ready;
}

TEST(NetworkWaitTest, RunsTheFunctionOnceWhenTheNetworkComesUp)
{
    std::atomic<int> checks{0};
    std::atomic<int> runs{0};
    std::promise<void> ran;
    NetworkWait wait;
    wait.Start(
        [&] {
            ++runs;
            ran.set_value();
        },
        [&] { return ++checks >= 3; }, 1ms);
    ASSERT_TRUE(readyWithin(ran.get_future()));
    wait.Stop();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(checks, 3) << "no check after the network was found";
}

// With an hour's interval, only a first check made at once can run the function within
// the limit.
TEST(NetworkWaitTest, AliveAtOnceRunsWithoutWaiting)
{
    std::atomic<int> checks{0};
    std::atomic<int> runs{0};
    std::promise<void> ran;
    NetworkWait wait;
    wait.Start(
        [&] {
            ++runs;
            ran.set_value();
        },
        [&] {
            ++checks;
            return true;
        },
        std::chrono::hours(1));
    ASSERT_TRUE(readyWithin(ran.get_future())) << "the first check waited for the interval";
    wait.Stop();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(runs, 1);
}

// Stop must not wait for the interval to pass: with an hour's interval a sleeping
// thread would hold Stop far beyond the limit.
TEST(NetworkWaitTest, StopEndsTheWaitAtOnce)
{
    std::atomic<int> checks{0};
    std::atomic<int> runs{0};
    std::promise<void> checked;
    NetworkWait wait;
    wait.Start([&] { ++runs; },
               [&] {
                   if (++checks == 1)
                       checked.set_value();
                   return false;
               },
               std::chrono::hours(1));
    ASSERT_TRUE(readyWithin(checked.get_future()));
    auto stopped = std::async(std::launch::async, [&wait] { wait.Stop(); });
    ASSERT_TRUE(readyWithin(stopped)) << "Stop waited for the interval";
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(runs, 0);
}

TEST(NetworkWaitTest, StartAgainReplacesTheEarlierWait)
{
    std::atomic<int> firstChecks{0};
    std::atomic<int> firstRuns{0};
    std::atomic<int> secondRuns{0};
    std::promise<void> secondRan;
    NetworkWait wait;
    wait.Start([&] { ++firstRuns; },
               [&] {
                   ++firstChecks;
                   return false;
               },
               std::chrono::hours(1));
    wait.Start(
        [&] {
            ++secondRuns;
            secondRan.set_value();
        },
        [] { return true; }, 1ms);
    ASSERT_TRUE(readyWithin(secondRan.get_future()));
    auto stopped = std::async(std::launch::async, [&wait] {
        wait.Stop();
        wait.Stop();
    });
    ASSERT_TRUE(readyWithin(stopped)) << "a second Stop must return at once";
    EXPECT_EQ(firstRuns, 0);
    EXPECT_LE(firstChecks, 1) << "the replaced wait checked again";
    EXPECT_EQ(secondRuns, 1);
}

} // namespace
