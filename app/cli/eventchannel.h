#pragma once

#include "facelib/callbackinfo.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace galvorn::cli {

// The one queue through which everything the program waits for reaches its main thread:
// the statuses of a run, news from the search, and an interruption by a signal. Every
// member may be called from any thread.
class EventChannel final : public StatusSink
{
public:
    struct Event
    {
        enum class Kind
        {
            Status,
            DevicesChanged,
            Interrupted,
        };
        Kind kind = Kind::Status;
        // Set for Status.
        std::unique_ptr<CallbackInfo> info;
    };

    using Clock = std::chrono::steady_clock;

    void postStatus(std::unique_ptr<CallbackInfo> info) override;
    void devicesChanged();
    // Queues Interrupted once; interrupted() holds from then on.
    void interrupt();
    bool interrupted() const;

    // The next event; empty once `deadline` has passed without one.
    std::optional<Event> next(Clock::time_point deadline);
    // The next event, however long it takes.
    Event next();
    // The next event if one is waiting.
    std::optional<Event> poll();

private:
    void push(Event event);

    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Event> events_;
    bool interrupted_ = false;
};

} // namespace galvorn::cli
