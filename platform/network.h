#pragma once

#include <cstdint>
#include <string>

namespace galvorn::platform {

// True when some interface is up, is not a loopback interface and holds an IPv4
// address: the machine has a network a search can run on.
bool IsNetworkAlive();

// The first IPv4 address of the first non-loopback interface that holds one, in the
// order the system lists them, in dotted form. Empty when there is none.
std::string firstAdapterAddress();

// What became of a request for the link-local route.
struct LinkLocalRouteResult
{
    bool added = false;
    // The interface that holds the address; empty when none does.
    std::string interfaceName;
    // The system's reason for refusing the route, for example that the caller lacks the
    // right to add it. Empty when the route was added, when one for the range is in
    // place already (on whatever interface) and when no interface holds the address.
    std::string refusal;
};

// Adds the route 169.254.0.0/16 on the interface that holds the given local address
// (dotted IPv4), so that devices that fell back to a link-local address can be reached
// through it. Not added when the address is not local or the system refused the route.
LinkLocalRouteResult addLinkLocalRoute(const std::string& localAddress);

// True when a TCP connection to the address (host byte order) and port completes
// within timeoutMs milliseconds. A refused or failed connection is not reachable.
// The connection is closed again before the function returns.
bool IsPortReachable(std::uint32_t address, std::uint16_t port, int timeoutMs);

} // namespace galvorn::platform
