#include "platform/network.h"

#include "platform/linux/netlinkptr.h"
#include "platform/netif.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/rtnetlink.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

namespace galvorn::platform {

namespace {

// The link-local range: 169.254.0.0/16.
constexpr const char* kLinkLocalNetwork = "169.254.0.0/16";

struct RouteFree
{
    void operator()(rtnl_route* route) const { rtnl_route_put(route); }
};

// The interface that holds the address, nothing when none does.
std::optional<Ipv4Interface> owner(std::uint32_t address)
{
    for (const auto& entry : ipv4Interfaces()) {
        if (entry.address == address)
            return entry;
    }
    return std::nullopt;
}

std::unique_ptr<rtnl_route, RouteFree> linkLocalRoute(unsigned ifindex)
{
    nl_addr* parsed = nullptr;
    if (nl_addr_parse(kLinkLocalNetwork, AF_INET, &parsed) < 0)
        return nullptr;
    const NlAddrPtr dst(parsed);
    std::unique_ptr<rtnl_route, RouteFree> route(rtnl_route_alloc());
    rtnl_nexthop* hop = rtnl_route_nh_alloc();
    if (!route || !hop) {
        if (hop)
            rtnl_route_nh_free(hop);
        return nullptr;
    }
    rtnl_route_set_family(route.get(), AF_INET);
    rtnl_route_set_table(route.get(), RT_TABLE_MAIN);
    rtnl_route_set_protocol(route.get(), RTPROT_BOOT);
    rtnl_route_set_scope(route.get(), RT_SCOPE_LINK);
    rtnl_route_set_type(route.get(), RTN_UNICAST);
    if (rtnl_route_set_dst(route.get(), dst.get()) < 0) {
        rtnl_route_nh_free(hop);
        return nullptr;
    }
    rtnl_route_nh_set_ifindex(hop, static_cast<int>(ifindex));
    rtnl_route_add_nexthop(route.get(), hop); // the route owns the hop from here
    return route;
}

// Asks the kernel to add the route: 0, or a negative libnl error code.
int requestRoute(rtnl_route& route)
{
    const NlSocketPtr sock(nl_socket_alloc());
    if (!sock)
        return -NLE_NOMEM;
    if (const int error = nl_connect(sock.get(), NETLINK_ROUTE); error < 0)
        return error;
    // NLM_F_EXCL: an existing route for the range, on whatever interface, is left alone.
    return rtnl_route_add(sock.get(), &route, NLM_F_EXCL);
}

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Waits for a connect in progress to finish; true when it succeeded. A refused connect
// also makes the socket writable, so the outcome is read from SO_ERROR.
bool connectSucceeded(int fd, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd entry{fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready > 0)
            break;
        if (ready == 0 || errno != EINTR)
            return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return false;
    return error == 0;
}

} // namespace

bool IsNetworkAlive()
{
    const auto interfaces = ipv4Interfaces();
    return std::any_of(interfaces.begin(), interfaces.end(),
                       [](const auto& entry) { return entry.up && !entry.loopback; });
}

std::string firstAdapterAddress()
{
    for (const auto& entry : ipv4Interfaces()) {
        if (!entry.loopback)
            return ipv4Text(entry.address);
    }
    return {};
}

LinkLocalRouteResult addLinkLocalRoute(const std::string& localAddress)
{
    LinkLocalRouteResult result;
    std::uint32_t address = 0;
    if (!parseIpv4(localAddress, address))
        return result;
    const std::optional<Ipv4Interface> holder = owner(address);
    if (!holder)
        return result;
    result.interfaceName = holder->name;
    const auto route = linkLocalRoute(holder->index);
    const int error = route ? requestRoute(*route) : -NLE_NOMEM;
    result.added = error >= 0;
    if (error < 0 && error != -NLE_EXIST)
        result.refusal = nl_geterror(error);
    return result;
}

bool IsPortReachable(std::uint32_t address, std::uint16_t port, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    bool reachable = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        reachable = true;
    else if (errno == EINPROGRESS)
        reachable = connectSucceeded(fd, std::max(timeoutMs, 0));
    ::close(fd);
    return reachable;
}

} // namespace galvorn::platform
