#pragma once

#include <cstdint>
#include <string>

// Making a device's second address reachable before a run. A device can carry a second
// IPv4 address besides the one the search reports first, and most devices are connected
// at that second address. When it lies in a subnet that no local adapter belongs to, the
// preparation adds a free address of that subnet to the adapter the device is attached
// to; the caller then waits until the added address is active before it connects.
namespace galvorn::platform {

// What the preparation reads of a device: its second address and mask as dotted texts
// and its MAC address text (six hexadecimal numbers separated by colons).
struct DeviceAddressInfo
{
    std::string ipAddr2;
    std::string maskAddr2;
    std::string mac;
};

// Sets `connectAddress` to the device's second address (network byte order; 0 when the
// text is no IPv4 address) in every case. Returns true when an address had to be added to
// a local adapter to reach it; `addedAddress` (network byte order) is then that address,
// which the caller waits for with IsLocalAddress(). Returns false, with `addedAddress` 0,
// when nothing was added: the second address is link-local (169.254.0.0/16, routed at
// start-up), already on a local subnet, or no free address could be added. Nothing is
// ever removed again.
//
// This build adds no addresses: every device is treated as reachable at its second
// address as it is.
bool PrepareDeviceAddress(const DeviceAddressInfo& device, std::uint32_t& connectAddress,
                          std::uint32_t& addedAddress);

// True when the address (network byte order) is one of this host's IPv4 addresses.
bool IsLocalAddress(std::uint32_t address);

} // namespace galvorn::platform
