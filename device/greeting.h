#pragma once

#include "support/inttypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace galvorn::device {

// The 64 bytes a device sends right after it accepts a connection.
struct DeviceGreeting
{
    static constexpr std::size_t kSize = 64;
    // The only protocol version spoken.
    static constexpr tuint32 kProtocolVersion = 3;

    // Words the session keeps without interpreting them (offsets 4, 8 and 16).
    tuint32 word4 = 0;
    tuint32 word8 = 0;
    tuint32 version = 0;
    tuint32 word16 = 0;
    // 0: names sent as they are (or digested, by passwordMode); otherwise the cipher type
    // that encodes the user name and password fields.
    tuint32 cipherType = 0;
    std::array<std::uint8_t, 4> cipherKey{};
    // 24-bit login challenge.
    tuint32 challenge = 0;
    // With cipher type 0: 0 plain, 2 digest with scrambled user name, other digest.
    std::uint8_t passwordMode = 0;
    std::array<std::uint8_t, kSize> bytes{};
};

// Reads a greeting from its bytes. False when fewer than 64 bytes are given; bytes
// beyond 64 are not looked at.
bool ReadGreeting(std::span<const std::uint8_t> bytes, DeviceGreeting& greeting) noexcept;

} // namespace galvorn::device
