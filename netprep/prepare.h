#pragma once

#include "netprep/arguments.h"
#include "platform/netprepreport.h"

#include <random>

// The helper's one job: make one device's second address reachable. Runs with
// CAP_NET_RAW (ARP) and CAP_NET_ADMIN (the address) and with nothing else of the caller.
namespace galvorn::netprep {

// Two random values for the start and the step of the walk over the subnet's hosts.
struct WalkSeed
{
    std::uint32_t r1 = 0;
    std::uint32_t r2 = 0;
};
WalkSeed RandomWalkSeed();

// What the helper needs of the system besides the adapters. Tests give themselves the
// capabilities they run with.
using CapabilityCheck = bool (*)(const char*& missing);

// True when the process holds CAP_NET_ADMIN and CAP_NET_RAW in its effective set;
// otherwise `missing` names the first it lacks.
bool HasNetworkCapabilities(const char*& missing);

// In order: a device whose subnet is local already needs nothing; without the two
// capabilities nothing more is tried; the device is searched by ARP on the physical
// adapters, and when it does not answer the fallback adapter is taken; a free address of
// the subnet is picked on that adapter and added to it. The report says what happened;
// the exit code follows from it (ExitCodeOf()).
platform::NetprepReport PrepareDevice(const PrepareRequest& request, WalkSeed seed,
                                      CapabilityCheck capabilities = &HasNetworkCapabilities);

// The helper's exit code for a report: refused 2, missing capabilities and failed system
// calls 1, everything else 0.
int ExitCodeOf(const platform::NetprepReport& report);

} // namespace galvorn::netprep
