// The simulator's reactor timers, without a network: order, cancelling, and timers that
// set or cancel others.

#include "tools/devsim/reactor.h"

#include <gtest/gtest.h>

#include <string>

namespace galvorn::devsim {
namespace {

using namespace std::chrono_literals;
using Clock = Reactor::Clock;

TEST(ReactorTimers, RunInTimeOrderAndTiesInTheOrderTheyWereSet)
{
    Reactor reactor;
    std::string order;
    const auto now = Clock::now();
    reactor.runAt(now + 30ms, [&] { order += 'c'; });
    reactor.runAt(now + 10ms, [&] { order += 'a'; });
    reactor.runAt(now + 20ms, [&] { order += 'b'; });
    reactor.runAt(now + 20ms, [&] { order += 'B'; });
    reactor.runAt(now + 40ms, [&] { reactor.stop(); });
    reactor.run();
    EXPECT_EQ(order, "abBc");
}

TEST(ReactorTimers, ACancelledTimerNeverRunsAndCancellingARunOneIsHarmless)
{
    Reactor reactor;
    std::string order;
    const auto now = Clock::now();
    const Reactor::TimerId early = reactor.runAt(now, [&] { order += 'e'; });
    const Reactor::TimerId cancelled = reactor.runAt(now + 10ms, [&] { order += 'x'; });
    reactor.runAt(now + 5ms, [&] {
        reactor.cancel(cancelled);
        reactor.cancel(early);
    });
    reactor.runAt(now + 20ms, [&] { reactor.stop(); });
    reactor.run();
    EXPECT_EQ(order, "e");
}

TEST(ReactorTimers, ATaskMaySetATimerThatIsAlreadyDue)
{
    Reactor reactor;
    std::string order;
    reactor.runAt(Clock::now(), [&] {
        order += '1';
        reactor.runAt(Clock::now() - 1s, [&] {
            order += '2';
            reactor.stop();
        });
    });
    reactor.run();
    EXPECT_EQ(order, "12");
}

} // namespace
} // namespace galvorn::devsim
