#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Making a device's second address reachable before a run. A device can carry a second
// IPv4 address besides the one the search reports first, and most devices are connected
// at that second address. When it lies in a subnet that no local adapter belongs to, the
// preparation adds a free address of that subnet to the adapter the device is attached
// to; the caller then waits until the added address is active before it connects.
namespace galvorn::platform {

class CancelSignal;

// What the preparation reads of a device: its second address and mask as dotted texts
// and its MAC address text (six hexadecimal numbers separated by colons).
struct DeviceAddressInfo
{
    std::string ipAddr2;
    std::string maskAddr2;
    std::string mac;
};

// How one preparation runs. The program needs no more than the defaults and a log.
struct PrepareOptions
{
    // The privileged helper that searches by ARP and adds the address; empty means the
    // galvorn-netprep beside the program.
    std::string helper;
    // Fired, the helper is stopped and the preparation returns false.
    const CancelSignal* cancel = nullptr;
    // Receives one line for every address added and for every reason none could be;
    // nothing is logged when the device needs no address. Without it the lines go to the
    // debug channel.
    std::function<void(std::string_view)> log;
};

// Sets `connectAddress` to the device's second address (network byte order; 0 when the
// text is no IPv4 address) in every case. Returns true when an address had to be added to
// a local adapter to reach it; `addedAddress` (network byte order) is then that address,
// which the caller waits for with WaitForLocalAddress(). Returns false, with
// `addedAddress` 0, when nothing was added: the second address is empty, link-local
// (169.254.0.0/16, routed at start-up), already on a local subnet or one of this host's
// own addresses, its mask leaves no
// host to add, or the helper is missing, lacks its capabilities, found no free address or
// failed. Nothing is ever removed again.
//
// Blocks for as long as the helper's ARP probes take (about a second per batch of
// candidates); call it off the GUI thread.
bool PrepareDeviceAddress(const DeviceAddressInfo& device, std::uint32_t& connectAddress,
                          std::uint32_t& addedAddress, const PrepareOptions& options = {});

// True when the address (network byte order) is one of this host's IPv4 addresses.
bool IsLocalAddress(std::uint32_t address);

} // namespace galvorn::platform
