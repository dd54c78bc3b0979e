#include "ui/devicetree/devicefeed.h"

#include <algorithm>
#include <iterator>

DeviceFeed::DeviceFeed(Sink sink, std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent), sink_(std::move(sink)), interval_(interval)
{
    timer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, which would make two batches closer than
    // the interval.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &DeviceFeed::deliver);
}

void DeviceFeed::push(std::unique_ptr<OnlineDeviceInfo> device, int change)
{
    if (!device)
        return;
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back({std::move(device), change});
        if (posted_)
            return;
        posted_ = true;
    }
    QMetaObject::invokeMethod(this, &DeviceFeed::schedule, Qt::QueuedConnection);
}

// The first record after a delivery arms the timer for what is left of the interval;
// every record until it fires joins the same batch.
void DeviceFeed::schedule()
{
    if (timer_.isActive())
        return;
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastDelivery_);
    timer_.start(std::clamp(interval_ - since, std::chrono::milliseconds{0}, interval_));
}

void DeviceFeed::deliver()
{
    Records batch;
    {
        const std::lock_guard lock(mutex_);
        batch.swap(pending_);
        posted_ = false;
    }
    sink_(batch, Clock::now() + kBatchBudget);
    // The interval counts from the end of the batch, after which the tree repaints.
    lastDelivery_ = Clock::now();
    if (batch.empty())
        return;
    {
        const std::lock_guard lock(mutex_);
        pending_.insert(pending_.begin(), std::make_move_iterator(batch.begin()),
                        std::make_move_iterator(batch.end()));
        posted_ = true;
    }
    schedule();
}
