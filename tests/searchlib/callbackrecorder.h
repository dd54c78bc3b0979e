#pragma once

#include "searchlib/quarlo_search.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace galvorn::testing {

// Collects the search library's callbacks and lets a test wait for a condition on them.
class CallbackRecorder
{
public:
    using Clock = std::chrono::steady_clock;

    struct Event
    {
        std::string mac;
        int type = 0;
        std::string xml;
        Clock::time_point at;
    };
    using Events = std::vector<Event>;

    // The function to hand to QUARLO_SEARCH_Initial, with the recorder as user data.
    static void callback(const char* mac, int type, const char* xml, void* recorder)
    {
        static_cast<CallbackRecorder*>(recorder)->record(mac, type, xml);
    }

    void record(const char* mac, int type, const char* xml)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back({mac, type, xml, Clock::now()});
        }
        changed_.notify_all();
    }

    // Waits until `done` holds for the events so far, or until the timeout. Returns
    // whether it held.
    bool waitFor(const std::function<bool(const Events&)>& done, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(events_); });
    }

    Events events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

    // How many cameras were reported new, each counted once.
    static std::size_t distinctNew(const Events& events)
    {
        std::set<std::string> macs;
        for (const auto& e : events) {
            if (e.type == QUARLO_SEARCH_DEVICE_NEW)
                macs.insert(e.mac);
        }
        return macs.size();
    }

    static std::size_t count(const Events& events, int type, const std::string& mac = {})
    {
        std::size_t n = 0;
        for (const auto& e : events)
            n += e.type == type && (mac.empty() || e.mac == mac);
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Events events_;
};

} // namespace galvorn::testing
