#pragma once

#include "platform/adaptermac.h"

#include <cstdint>
#include <string>
#include <vector>

// The local network adapters as the address preparation sees them. Every function reads
// the system's lists afresh at each call and keeps no state of its own. Addresses and
// masks are in host byte order.
namespace galvorn::platform {

struct AdapterAddress
{
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

struct Adapter
{
    std::string name;
    unsigned index = 0;
    MacBytes mac{};
    // A 6-byte hardware address and no IFF_NOARP: the adapter can send and answer ARP.
    bool arp = false;
    bool up = false;
    bool loopback = false;
    std::vector<AdapterAddress> addresses;
};

// One entry per IPv4 address of every adapter, in adapter-list order.
struct LocalAddress
{
    std::uint32_t address = 0;
    unsigned index = 0;
    std::uint32_t mask = 0;
};

// Every interface with its hardware address and IPv4 addresses, in the system's order.
// False when the list cannot be read.
bool GetAdapterList(std::vector<Adapter>& adapters);

// False when the adapter list cannot be read.
bool GetLocalAddressTable(std::vector<LocalAddress>& table);

// The class of the address's first octet: 0 below 128, 1 to 191, 2 to 223, 3 to 239,
// 4 to 247; -1 from 248 on, and for the address 0.
int GetAddressClass(std::uint32_t address);

// True when some local address lies in the same subnet: (entry address AND entry mask)
// equals (address AND mask). False for an address of class -1 and when the local
// addresses cannot be read.
bool IsOnLocalSubnet(std::uint32_t address, std::uint32_t mask);

// True when a device stands behind the interface (/sys/class/net/<name>/device exists):
// loopback, bridges, veth, tun/tap, VPN and other virtual interfaces are not physical.
// Only physical adapters are searched for a device by ARP.
bool IsPhysicalAdapter(const Adapter& adapter);

// The test IsPhysicalAdapter() applies. A network namespace has no physical interfaces,
// so tests replace it; the previous test is returned so that it can be put back.
using PhysicalAdapterTest = bool (*)(const Adapter&);
PhysicalAdapterTest ReplacePhysicalAdapterTest(PhysicalAdapterTest test);

// The adapter an address is added to, when no ARP answer told which one the device is
// behind: the first physical adapter that is up and can do ARP, else the first such
// adapter of any kind; nullptr when there is none.
const Adapter* FallbackAdapter(const std::vector<Adapter>& adapters);

// AddAdapterAddress() results.
struct AddAddressResult
{
    static constexpr int kAdded = 0;
    // The caller lacks CAP_NET_ADMIN.
    static constexpr int kNotPermitted = 1;
    // The adapter holds the address already.
    static constexpr int kExists = 2;
    static constexpr int kFailed = 3;
};

// Adds the address with its mask (and the subnet's broadcast address) to the interface
// through rtnetlink. `error` receives the system's text when the result is not kAdded.
int AddAdapterAddress(std::uint32_t address, std::uint32_t mask, unsigned index,
                      std::string& error);

// Number of leading one bits when the mask is contiguous; -1 otherwise.
int PrefixLength(std::uint32_t mask);

} // namespace galvorn::platform
