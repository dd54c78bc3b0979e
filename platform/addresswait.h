#pragma once

#include <chrono>
#include <cstdint>

namespace galvorn::platform {

class CancelSignal;

// How long a run waits for an address it added to a local adapter: 80 checks 100 ms apart.
inline constexpr std::chrono::milliseconds kAddedAddressWait{8000};

// Blocks until the address (network byte order) is one of this host's IPv4 addresses,
// until the limit has passed, or until `cancel` fires. Wakes on the system's address
// changes rather than polling. True when the address is there.
bool WaitForLocalAddress(std::uint32_t address, std::chrono::milliseconds limit = kAddedAddressWait,
                         const CancelSignal* cancel = nullptr);

} // namespace galvorn::platform
