#pragma once

#include "facelib/callbackinfo.h"
#include "facelib/textfield.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A status sink that keeps every record in arrival order, in place of the main window.
class RecordingSink : public galvorn::StatusSink
{
public:
    using Records = std::vector<galvorn::CallbackInfo>;

    void postStatus(std::unique_ptr<galvorn::CallbackInfo> info) override
    {
        const std::lock_guard guard(lock_);
        records_.push_back(std::move(*info));
        changed_.notify_all();
    }

    void clear()
    {
        const std::lock_guard guard(lock_);
        records_.clear();
    }

    Records records() const
    {
        const std::lock_guard guard(lock_);
        return records_;
    }

    // The status codes posted for one device key, in order.
    std::vector<tuint32> statusesOf(const std::string& key) const
    {
        std::vector<tuint32> statuses;
        for (const galvorn::CallbackInfo& info : records())
            if (galvorn::fieldText(info.mac) == key)
                statuses.push_back(info.status);
        return statuses;
    }

    // Blocks until `done` holds for the records, or the limit passes; false then.
    bool waitFor(const std::function<bool(const Records&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(30)) const
    {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return done(records_); });
    }

    // Blocks until `count` records have arrived.
    bool waitForCount(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) const
    {
        return waitFor([count](const Records& records) { return records.size() >= count; }, limit);
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    Records records_;
};

inline tuint32 code(galvorn::DeviceStatus status)
{
    return static_cast<tuint32>(status);
}
