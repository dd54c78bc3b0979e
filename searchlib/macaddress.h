#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace galvorn::searchlib {

// A 48-bit hardware address. A camera's MAC is its key in every table.
struct MacAddress
{
    std::array<std::uint8_t, 6> bytes{};

    // "AA:BB:CC:DD:EE:FF", upper case.
    std::string text() const;
    // Accepts six two-digit hexadecimal numbers joined by colons, either case.
    static std::optional<MacAddress> parse(std::string_view text);
    // A camera's own address: not all zero and not a group (multicast or broadcast) address.
    bool isUnicast() const;
    std::uint64_t key() const;

    friend bool operator==(const MacAddress&, const MacAddress&) = default;
};

} // namespace galvorn::searchlib
