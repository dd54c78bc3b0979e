#include "discovery/networkwait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace {

using namespace std::chrono_literals;

TEST(NetworkWaitTest, RunsTheFunctionOnceWhenTheNetworkComesUp)
{
    std::atomic<int> checks{0};
    std::atomic<int> runs{0};
    std::promise<void> ran;
    CNetworkWait wait;
    wait.Start(
        [&] {
            ++runs;
            ran.set_value();
        },
        [&] { return ++checks >= 3; }, 1ms);
    ran.get_future().wait();
    wait.Stop();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(checks, 3); // no check after the network was found
}

TEST(NetworkWaitTest, AliveAtOnceRunsWithoutWaiting)
{
    std::promise<void> ran;
    CNetworkWait wait;
    // An interval that a waiting thread would never get through in a test.
    wait.Start([&] { ran.set_value(); }, [] { return true; }, std::chrono::hours(1));
    ran.get_future().wait();
}

// Stop must not wait for the interval to pass: with an hour's interval a sleeping
// thread would hold the test until its time limit.
TEST(NetworkWaitTest, StopEndsTheWaitAtOnce)
{
    std::atomic<int> runs{0};
    std::promise<void> checked;
    std::atomic<bool> first{true};
    CNetworkWait wait;
    wait.Start([&] { ++runs; },
               [&] {
                   if (first.exchange(false))
                       checked.set_value();
                   return false;
               },
               std::chrono::hours(1));
    checked.get_future().wait();
    wait.Stop();
    EXPECT_EQ(runs, 0);
}

TEST(NetworkWaitTest, StartAgainReplacesTheEarlierWait)
{
    std::atomic<int> firstRuns{0};
    std::promise<void> secondRan;
    CNetworkWait wait;
    wait.Start([&] { ++firstRuns; }, [] { return false; }, std::chrono::hours(1));
    wait.Start([&] { secondRan.set_value(); }, [] { return true; }, 1ms);
    secondRan.get_future().wait();
    wait.Stop();
    wait.Stop();
    EXPECT_EQ(firstRuns, 0);
}

} // namespace
