#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace galvorn::platform {

// One IPv4 address of a network interface, as the system lists it. Addresses and masks
// are in host byte order.
struct Ipv4Interface
{
    std::string name;
    unsigned index = 0;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    bool up = false;
    bool multicast = false;
    bool loopback = false;
};

// Every IPv4 address of every interface, in the order the system lists them. Empty when
// the list cannot be read.
std::vector<Ipv4Interface> ipv4Interfaces();

// The interfaces that can carry an IPv4 multicast search: up, multicast-capable and
// holding an IPv4 address. One entry per interface (its first IPv4 address), ordered by
// interface index so that a cap on their number always keeps the same ones.
std::vector<Ipv4Interface> multicastInterfaces();

// Dotted text of a host-byte-order IPv4 address.
std::string ipv4Text(std::uint32_t address);

// Parses dotted IPv4 text into host byte order. False for anything else.
bool parseIpv4(const std::string& text, std::uint32_t& address);

} // namespace galvorn::platform
