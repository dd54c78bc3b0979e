#pragma once

#include "platform/adaptermac.h"

#include <cstdint>
#include <span>
#include <string>

// The helper's command line, read as hostile input: it runs with raised capabilities for
// whoever starts it, so it accepts exactly one form and nothing around it:
//
//   galvorn-netprep prepare --address <second address> --mask <its mask> --mac <device MAC>
//
// The three options come once each, in any order.
namespace galvorn::netprep {

// At most this many bytes per argument; a longer one is refused before it is read.
inline constexpr std::size_t kMaxArgumentBytes = 64;

// One device's preparation, as the arguments name it. Addresses in host byte order.
struct PrepareRequest
{
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    platform::MacBytes mac{};
};

// Reads the arguments after the program name. Empty when they are accepted and `request`
// is set; otherwise the reason they were refused, and `request` is unchanged. Refused:
// anything but IPv4 in dotted decimal; loopback, multicast, reserved, broadcast,
// 0.0.0.0/8 and 169.254.0.0/16 addresses; masks that are not contiguous or not /8 to /30;
// an address that is its subnet's network or broadcast address; a MAC that is not six
// two-digit hexadecimal numbers separated by colons, or is zero, multicast or broadcast.
std::string ParseArguments(std::span<const char* const> arguments, PrepareRequest& request);

} // namespace galvorn::netprep
