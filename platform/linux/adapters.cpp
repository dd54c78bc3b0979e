#include "platform/adapters.h"

#include "platform/linux/netlinkptr.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <bit>
#include <cstring>
#include <filesystem>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <system_error>

#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/socket.h>

namespace galvorn::platform {

namespace {

bool sysfsPhysical(const Adapter& adapter)
{
    std::error_code error;
    return std::filesystem::exists("/sys/class/net/" + adapter.name + "/device", error);
}

std::atomic<PhysicalAdapterTest> physicalTest{&sysfsPhysical};

std::uint32_t hostOrder(const sockaddr* sa)
{
    sockaddr_in in{};
    std::memcpy(&in, sa, sizeof in);
    return ntohl(in.sin_addr.s_addr);
}

Adapter& adapterNamed(std::vector<Adapter>& adapters, const char* name)
{
    const auto found = std::find_if(adapters.begin(), adapters.end(),
                                    [&](const Adapter& a) { return a.name == name; });
    if (found != adapters.end())
        return *found;
    Adapter& added = adapters.emplace_back();
    added.name = name;
    added.index = ::if_nametoindex(name);
    return added;
}

void readLink(Adapter& adapter, const ifaddrs& entry)
{
    sockaddr_ll link{};
    std::memcpy(&link, entry.ifa_addr, sizeof link);
    adapter.index = static_cast<unsigned>(link.sll_ifindex);
    adapter.up = (entry.ifa_flags & IFF_UP) != 0;
    adapter.loopback = (entry.ifa_flags & IFF_LOOPBACK) != 0;
    adapter.arp = link.sll_halen == adapter.mac.size() && (entry.ifa_flags & IFF_NOARP) == 0 &&
                  !adapter.loopback;
    if (adapter.arp)
        std::copy_n(link.sll_addr, adapter.mac.size(), adapter.mac.begin());
}

struct RtnlAddrPut
{
    void operator()(rtnl_addr* addr) const { rtnl_addr_put(addr); }
};

NlAddrPtr netlinkAddress(std::uint32_t address, int prefix)
{
    const std::uint32_t wire = htonl(address);
    NlAddrPtr result(nl_addr_build(AF_INET, &wire, sizeof wire));
    if (result)
        nl_addr_set_prefixlen(result.get(), prefix);
    return result;
}

} // namespace

bool GetAdapterList(std::vector<Adapter>& adapters)
{
    adapters.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            readLink(adapterNamed(adapters, entry->ifa_name), *entry);
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            const std::uint32_t mask = entry->ifa_netmask ? hostOrder(entry->ifa_netmask) : 0;
            adapterNamed(adapters, entry->ifa_name)
                .addresses.push_back({hostOrder(entry->ifa_addr), mask});
        }
    }
    ::freeifaddrs(list);
    return true;
}

bool GetLocalAddressTable(std::vector<LocalAddress>& table)
{
    table.clear();
    std::vector<Adapter> adapters;
    if (!GetAdapterList(adapters))
        return false;
    for (const Adapter& adapter : adapters) {
        for (const AdapterAddress& entry : adapter.addresses)
            table.push_back({entry.address, adapter.index, entry.mask});
    }
    return true;
}

int GetAddressClass(std::uint32_t address)
{
    const std::uint32_t first = address >> 24;
    if (address == 0 || first >= 248)
        return -1;
    if (first < 128)
        return 0;
    if (first < 192)
        return 1;
    if (first < 224)
        return 2;
    return first < 240 ? 3 : 4;
}

bool IsOnLocalSubnet(std::uint32_t address, std::uint32_t mask)
{
    std::vector<LocalAddress> table;
    if (GetAddressClass(address) < 0 || !GetLocalAddressTable(table))
        return false;
    return std::any_of(table.begin(), table.end(), [&](const LocalAddress& entry) {
        return (entry.address & entry.mask) == (address & mask);
    });
}

bool IsPhysicalAdapter(const Adapter& adapter)
{
    return physicalTest.load()(adapter);
}

PhysicalAdapterTest ReplacePhysicalAdapterTest(PhysicalAdapterTest test)
{
    return physicalTest.exchange(test ? test : &sysfsPhysical);
}

const Adapter* FallbackAdapter(const std::vector<Adapter>& adapters)
{
    const Adapter* first = nullptr;
    for (const Adapter& adapter : adapters) {
        if (!adapter.up || !adapter.arp)
            continue;
        if (IsPhysicalAdapter(adapter))
            return &adapter;
        if (!first)
            first = &adapter;
    }
    return first;
}

int AddAdapterAddress(std::uint32_t address, std::uint32_t mask, unsigned index, std::string& error)
{
    const int prefix = PrefixLength(mask);
    const auto local = netlinkAddress(address, prefix);
    const auto broadcast = netlinkAddress(address | ~mask, prefix);
    const std::unique_ptr<rtnl_addr, RtnlAddrPut> entry(rtnl_addr_alloc());
    const NlSocketPtr sock(nl_socket_alloc());
    if (prefix < 0 || !local || !broadcast || !entry || !sock) {
        error = "no memory or an invalid mask";
        return AddAddressResult::kFailed;
    }
    rtnl_addr_set_family(entry.get(), AF_INET);
    rtnl_addr_set_ifindex(entry.get(), static_cast<int>(index));
    rtnl_addr_set_prefixlen(entry.get(), prefix);
    int result = rtnl_addr_set_local(entry.get(), local.get());
    if (result >= 0)
        result = rtnl_addr_set_broadcast(entry.get(), broadcast.get());
    if (result >= 0)
        result = nl_connect(sock.get(), NETLINK_ROUTE);
    // NLM_F_EXCL: an address the adapter holds already is reported, never taken over.
    if (result >= 0)
        result = rtnl_addr_add(sock.get(), entry.get(), NLM_F_EXCL);
    if (result >= 0)
        return AddAddressResult::kAdded;
    error = nl_geterror(result);
    if (result == -NLE_PERM)
        return AddAddressResult::kNotPermitted;
    return result == -NLE_EXIST ? AddAddressResult::kExists : AddAddressResult::kFailed;
}

int PrefixLength(std::uint32_t mask)
{
    const int ones = std::countl_one(mask);
    return std::countr_zero(mask) + ones == 32 ? ones : -1;
}

} // namespace galvorn::platform
