#pragma once

#include <array>
#include <cstdint>

namespace galvorn::platform {

using MacBytes = std::array<std::uint8_t, 6>;

// The hardware address of the first network adapter that holds the given local IPv4
// address (host byte order). False, with `mac` zeroed, when no adapter holds it or the
// adapter has no 6-byte hardware address. The loopback adapter's address is all zeros.
bool adapterMacForAddress(std::uint32_t address, MacBytes& mac);

} // namespace galvorn::platform
