#pragma once

#include "discovery/onlinedeviceinfo.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Carries device records from the search thread to the device tree. push() may be called
// from any thread; the records reach the sink on the feed's thread (the GUI thread) in
// the order they were pushed, in batches, at most one batch per interval. A site of
// thousands of cameras answering all the time thus costs the GUI thread one wake-up and
// at most one repaint per interval, instead of one per answer. A batch has a time budget:
// the records the sink leaves when it is spent go first into the next batch, so that a
// burst (a whole site answering for the first time) never holds the GUI thread for long.
// Records still pending when the feed is destroyed are deleted with it.
class DeviceFeed : public QObject
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDefaultInterval{100};
    static constexpr std::chrono::milliseconds kBatchBudget{20};

    struct Record
    {
        std::unique_ptr<OnlineDeviceInfo> device;
        int change = 0; // its SearchStatus
    };
    using Records = std::vector<Record>;
    // Takes records from the front of the batch, in order, and removes those it took;
    // it should stop once the time given has passed. What it leaves is delivered again.
    using Sink = std::function<void(Records&, Clock::time_point)>;

    explicit DeviceFeed(Sink sink, std::chrono::milliseconds interval = kDefaultInterval,
                        QObject* parent = nullptr);

    // Any thread. A null device is dropped.
    void push(std::unique_ptr<OnlineDeviceInfo> device, int change);

private:
    void schedule();
    void deliver();

    const Sink sink_;
    const std::chrono::milliseconds interval_;
    QTimer timer_;
    Clock::time_point lastDelivery_;

    std::mutex mutex_;
    Records pending_;     // guarded by mutex_
    bool posted_ = false; // guarded by mutex_: a delivery is on its way for pending_
};
