#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The one line of JSON that the address helper (galvorn-netprep) prints about one
// device, and its reading on the window's side. Both sides use this code, so the keys and
// words live only here. Addresses are in host byte order.
namespace galvorn::platform {

// The helper's file name; it lies beside the program.
inline constexpr char kNetprepHelper[] = "galvorn-netprep";

// The helper's exit codes.
struct NetprepExit
{
    static constexpr int kRan = 0;
    static constexpr int kSystemFailed = 1;
    static constexpr int kRefused = 2;
};

enum class NetprepOutcome
{
    Added,             // `address` was added to `adapter`
    NotNeeded,         // `reason`: the device's subnet is local already
    NoAdapter,         // no adapter can carry the address
    NoFreeAddress,     // every host of the subnet answered or is the device's own
    MissingCapability, // `capability` names what the helper lacks
    SystemFailed,      // `call` failed with the system's text `error`
    Refused            // `reason` says which argument was refused
};

struct NetprepReport
{
    NetprepOutcome outcome = NetprepOutcome::SystemFailed;
    std::string adapter;
    unsigned adapterIndex = 0;
    // The device was found behind the adapter by ARP (else the adapter is the fallback).
    bool foundByArp = false;
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    std::string reason;
    std::string capability;
    std::string call;
    std::string error;
};

// One line of JSON without the line break. Texts are escaped as JSON requires.
std::string FormatNetprepReport(const NetprepReport& report);

// Reads a line that FormatNetprepReport() wrote. False, with `report` unchanged, for
// anything else: not JSON, an unknown outcome, a field of the wrong type or an address
// that is not dotted IPv4.
bool ParseNetprepReport(std::string_view line, NetprepReport& report);

} // namespace galvorn::platform
