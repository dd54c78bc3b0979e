#include "platform/adaptermac.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>

namespace galvorn::platform {

namespace {

// The name of the first interface that holds the address, or empty.
std::string interfaceHolding(const ifaddrs* list, std::uint32_t address)
{
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        sockaddr_in in{};
        std::memcpy(&in, entry->ifa_addr, sizeof in);
        if (ntohl(in.sin_addr.s_addr) == address)
            return entry->ifa_name;
    }
    return {};
}

bool hardwareAddressOf(const ifaddrs* list, const std::string& name, MacBytes& mac)
{
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || name != entry->ifa_name)
            continue;
        sockaddr_ll link{};
        std::memcpy(&link, entry->ifa_addr, sizeof link);
        if (link.sll_halen != mac.size())
            return false;
        std::copy_n(link.sll_addr, mac.size(), mac.begin());
        return true;
    }
    return false;
}

} // namespace

bool adapterMacForAddress(std::uint32_t address, MacBytes& mac)
{
    mac.fill(0);
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    const std::string name = interfaceHolding(list, address);
    const bool found = !name.empty() && hardwareAddressOf(list, name, mac);
    ::freeifaddrs(list);
    if (!found)
        mac.fill(0);
    return found;
}

} // namespace galvorn::platform
