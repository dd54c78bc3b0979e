#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace galvorn::device {

// An event that stays signalled until it is reset, and wakes every waiter when set.
class ManualResetEvent
{
public:
    explicit ManualResetEvent(bool signalled = false) : signalled_(signalled) {}

    void Set()
    {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        changed_.notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    void Wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return signalled_; });
    }
    // False when the time ran out first.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return signalled_; });
    }
    bool IsSet()
    {
        std::lock_guard lock(mutex_);
        return signalled_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
};

// The request gate ("Status Event"): one event for every session of the process,
// signalled while no status-wait request is in progress. Releasing a session waits for it.
ManualResetEvent& RequestGate();

} // namespace galvorn::device
