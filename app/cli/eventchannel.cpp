#include "app/cli/eventchannel.h"

namespace galvorn::cli {

void EventChannel::postStatus(std::unique_ptr<CallbackInfo> info)
{
    push({Event::Kind::Status, std::move(info)});
}

void EventChannel::devicesChanged()
{
    push({Event::Kind::DevicesChanged, nullptr});
}

void EventChannel::interrupt()
{
    {
        const std::lock_guard guard(lock_);
        if (interrupted_)
            return;
        interrupted_ = true;
        events_.push_back({Event::Kind::Interrupted, nullptr});
    }
    arrived_.notify_all();
}

bool EventChannel::interrupted() const
{
    const std::lock_guard guard(lock_);
    return interrupted_;
}

std::optional<EventChannel::Event> EventChannel::next(Clock::time_point deadline)
{
    std::unique_lock guard(lock_);
    if (!arrived_.wait_until(guard, deadline, [this] { return !events_.empty(); }))
        return std::nullopt;
    Event event = std::move(events_.front());
    events_.pop_front();
    return event;
}

EventChannel::Event EventChannel::next()
{
    std::unique_lock guard(lock_);
    arrived_.wait(guard, [this] { return !events_.empty(); });
    Event event = std::move(events_.front());
    events_.pop_front();
    return event;
}

std::optional<EventChannel::Event> EventChannel::poll()
{
    return next(Clock::time_point::min());
}

void EventChannel::push(Event event)
{
    {
        const std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    arrived_.notify_all();
}

} // namespace galvorn::cli
