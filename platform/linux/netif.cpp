#include "platform/netif.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace galvorn::platform {

namespace {

std::uint32_t hostOrder(const sockaddr* sa)
{
    return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

} // namespace

std::vector<Ipv4Interface> ipv4Interfaces()
{
    std::vector<Ipv4Interface> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET)
            continue;
        Ipv4Interface entry;
        entry.name = it->ifa_name;
        entry.index = if_nametoindex(it->ifa_name);
        entry.address = hostOrder(it->ifa_addr);
        entry.netmask = it->ifa_netmask ? hostOrder(it->ifa_netmask) : 0;
        entry.up = (it->ifa_flags & IFF_UP) != 0;
        entry.multicast = (it->ifa_flags & IFF_MULTICAST) != 0;
        entry.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry.index != 0)
            result.push_back(std::move(entry));
    }
    freeifaddrs(list);
    return result;
}

std::vector<Ipv4Interface> multicastInterfaces()
{
    std::vector<Ipv4Interface> result;
    for (auto& entry : ipv4Interfaces()) {
        if (!entry.up || !entry.multicast)
            continue;
        const bool seen = std::any_of(result.begin(), result.end(),
                                      [&](const auto& e) { return e.index == entry.index; });
        if (!seen)
            result.push_back(std::move(entry));
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a.index < b.index; });
    return result;
}

std::string ipv4Text(std::uint32_t address)
{
    in_addr in{};
    in.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

bool parseIpv4(const std::string& text, std::uint32_t& address)
{
    in_addr in{};
    if (inet_pton(AF_INET, text.c_str(), &in) != 1)
        return false;
    address = ntohl(in.s_addr);
    return true;
}

} // namespace galvorn::platform
