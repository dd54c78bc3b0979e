#include "platform/addresswait.h"

#include "platform/addressprep.h"
#include "platform/cancelsignal.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::platform {

namespace {

// A socket that becomes readable whenever an IPv4 address is added or removed; -1 when
// the system offers none, in which case the wait degrades to one check at each end.
int openAddressEvents()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void drain(int fd)
{
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

} // namespace

bool WaitForLocalAddress(std::uint32_t address, std::chrono::milliseconds limit,
                         const CancelSignal* cancel)
{
    using Clock = std::chrono::steady_clock;
    const int events = openAddressEvents();
    const auto deadline = Clock::now() + limit;
    const auto cancelled = [cancel] { return cancel && cancel->fired(); };
    bool present = IsLocalAddress(address);
    while (!present && !cancelled()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        // A descriptor of -1 is left out by poll(2): without events the wait ends only at
        // the limit or on the cancel signal.
        pollfd fds[2] = {{events, POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) > 0 && (fds[0].revents & POLLIN))
            drain(events);
        present = IsLocalAddress(address);
    }
    if (events >= 0)
        ::close(events);
    return present;
}

} // namespace galvorn::platform
