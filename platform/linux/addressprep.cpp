#include "platform/addressprep.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace galvorn::platform {

namespace {

// Network byte order; 0 for anything that is not dotted IPv4 text.
std::uint32_t parseAddress(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 ? address.s_addr : 0;
}

} // namespace

bool PrepareDeviceAddress(const DeviceAddressInfo& device, std::uint32_t& connectAddress,
                          std::uint32_t& addedAddress)
{
    connectAddress = parseAddress(device.ipAddr2);
    addedAddress = 0;
    return false;
}

bool IsLocalAddress(std::uint32_t address)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == address;
    }
    freeifaddrs(list);
    return found;
}

} // namespace galvorn::platform
