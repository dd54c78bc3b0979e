#include "tools/devsim/reactor.h"

#include <cerrno>
#include <poll.h>
#include <utility>
#include <vector>

namespace galvorn::devsim {

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

void Reactor::run()
{
    running_ = true;
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> serials;
    while (running_) {
        fds.clear();
        serials.clear();
        for (const auto& [fd, entry] : entries_) {
            fds.push_back({fd, entry.events, 0});
            serials.push_back(entry.serial);
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
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
