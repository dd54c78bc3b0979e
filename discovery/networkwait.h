#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace galvorn::discovery {

// A thread that waits until the machine has a network, then runs a function once and
// ends. It checks every interval and ends early when stopped; stopping never waits for
// an interval to pass, only for a function that is already running.
class NetworkWait
{
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{500};

    NetworkWait() = default;
    NetworkWait(const NetworkWait&) = delete;
    NetworkWait& operator=(const NetworkWait&) = delete;
    // Stops the thread.
    ~NetworkWait();

    // Starts the thread; a thread started earlier is stopped first. isAlive is asked at
    // once and then every interval until it answers true; then onAlive runs once on the
    // thread. By default isAlive is platform::IsNetworkAlive.
    void Start(std::function<void()> onAlive, std::function<bool()> isAlive = {},
               std::chrono::milliseconds interval = kDefaultInterval);

    // Asks the thread to end and waits until it has: at once while it waits, after
    // onAlive returns when that runs. onAlive is not called once Stop has begun. Safe to
    // call more than once; not from inside onAlive.
    void Stop();

private:
    void Run(std::function<void()> onAlive, std::function<bool()> isAlive,
             std::chrono::milliseconds interval);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // guarded by mutex_
    std::thread thread_;
};

} // namespace galvorn::discovery
