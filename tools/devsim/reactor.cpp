#include "tools/devsim/reactor.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/prctl.h>
#include <utility>
#include <vector>

namespace galvorn::devsim {

namespace {

// Longest single wait; a far timer is looked at again after it.
constexpr std::chrono::nanoseconds kLongestWait = std::chrono::seconds(60);

} // namespace

void Reactor::watch(int fd, short events, Handler handler)
{
    entries_[fd] = Entry{events, ++nextSerial_, std::move(handler)};
}

void Reactor::change(int fd, short events)
{
    if (const auto found = entries_.find(fd); found != entries_.end())
        found->second.events = events;
}

void Reactor::unwatch(int fd)
{
    entries_.erase(fd);
}

Reactor::TimerId Reactor::runAt(Clock::time_point at, Task task)
{
    const TimerId timer{at, ++nextSerial_};
    timers_.emplace(timer, std::move(task));
    return timer;
}

void Reactor::cancel(const TimerId& timer)
{
    timers_.erase(timer);
}

const timespec* Reactor::pollTimeout(timespec& storage) const
{
    if (timers_.empty())
        return nullptr;
    const auto left =
        std::clamp(std::chrono::nanoseconds(timers_.begin()->first.first - Clock::now()),
                   std::chrono::nanoseconds{0}, kLongestWait);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(left);
    storage.tv_sec = static_cast<time_t>(seconds.count());
    storage.tv_nsec = static_cast<long>((left - seconds).count());
    return &storage;
}

// A task may set or cancel timers; each turn takes the earliest timer afresh.
void Reactor::runDueTimers()
{
    const auto now = Clock::now();
    while (running_ && !timers_.empty() && timers_.begin()->first.first <= now) {
        auto node = timers_.extract(timers_.begin());
        node.mapped()();
    }
}

void Reactor::run()
{
    running_ = true;
    // A timer fires on time, not up to the default 50 us of slack later: a delayed reply
    // adds its configured delay and no more.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> serials;
    while (running_) {
        fds.clear();
        serials.clear();
        for (const auto& [fd, entry] : entries_) {
            fds.push_back({fd, entry.events, 0});
            serials.push_back(entry.serial);
        }
        timespec wait{};
        if (::ppoll(fds.data(), fds.size(), pollTimeout(wait), nullptr) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        runDueTimers();
        for (std::size_t i = 0; i < fds.size() && running_; ++i) {
            if (fds[i].revents == 0)
                continue;
            // A handler may unwatch any descriptor, itself included, or reuse a closed
            // descriptor number; the serial tells whether the entry is still the same one.
            const auto found = entries_.find(fds[i].fd);
            if (found == entries_.end() || found->second.serial != serials[i])
                continue;
            const Handler handler = found->second.handler;
            handler(fds[i].revents);
        }
    }
}

} // namespace galvorn::devsim
