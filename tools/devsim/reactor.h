#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <utility>

namespace galvorn::devsim {

// A single-threaded poll(2) loop. Every face of every camera registers its descriptors
// and its timers here, so the whole simulator runs on one thread without locks. The
// reactor does not own the descriptors.
class Reactor
{
public:
    using Handler = std::function<void(short revents)>;
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;
    // Names a timer until it has run or was cancelled.
    using TimerId = std::pair<Clock::time_point, std::uint64_t>;

    // Calls `handler` whenever `fd` shows one of `events` (or an error or hang-up).
    void watch(int fd, short events, Handler handler);
    void change(int fd, short events);
    void unwatch(int fd);

    // Runs `task` once, on the reactor's thread, once `at` has passed. Timers due at the
    // same time run in the order they were set.
    TimerId runAt(Clock::time_point at, Task task);
    // Forgets a timer that has not run yet; does nothing for one that has.
    void cancel(const TimerId& timer);

    // Runs until stop() is called from a handler.
    void run();
    void stop() { running_ = false; }

private:
    // The wait until the earliest timer, to the nanosecond, so that a reply delay of
    // 500 us is not rounded up to a millisecond. Null without a timer.
    const timespec* pollTimeout(timespec& storage) const;
    void runDueTimers();

    struct Entry
    {
        short events = 0;
        std::uint64_t serial = 0;
        Handler handler;
    };

    std::map<int, Entry> entries_;
    std::map<TimerId, Task> timers_;
    std::uint64_t nextSerial_ = 0;
    bool running_ = false;
};

} // namespace galvorn::devsim
