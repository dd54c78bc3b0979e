#include "netprep/arguments.h"

#include "platform/adapters.h"
#include "platform/netif.h"
#include "searchlib/macaddress.h"

#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace galvorn::netprep {

namespace {

constexpr std::string_view kCommand = "prepare";
constexpr std::size_t kOptionCount = 3;
constexpr std::array<std::string_view, kOptionCount> kOptions = {"--address", "--mask", "--mac"};
constexpr int kShortestPrefix = 8;
constexpr int kLongestPrefix = 30;

// Ranges that never name a device's host: (network, mask, what).
struct Range
{
    std::uint32_t network;
    std::uint32_t mask;
    const char* what;
};
constexpr std::array<Range, 5> kRefusedRanges = {{
    {0x00000000, 0xFF000000, "in 0.0.0.0/8"},
    {0x7F000000, 0xFF000000, "a loopback address"},
    {0xA9FE0000, 0xFFFF0000, "link-local (169.254.0.0/16)"},
    {0xE0000000, 0xF0000000, "a multicast address"},
    {0xF0000000, 0xF0000000, "reserved or the broadcast address"},
}};

std::string parseMac(std::string_view text, platform::MacBytes& mac)
{
    const std::optional<searchlib::MacAddress> parsed = searchlib::MacAddress::parse(text);
    if (!parsed)
        return "the MAC must be six hexadecimal pairs separated by colons";
    if (parsed->key() == 0)
        return "the MAC is zero";
    if (!parsed->isUnicast())
        return "the MAC is a multicast or broadcast address";
    mac = parsed->bytes;
    return {};
}

std::string checkAddress(std::uint32_t address)
{
    for (const Range& range : kRefusedRanges) {
        if ((address & range.mask) == range.network)
            return std::string("the address is ") + range.what;
    }
    return {};
}

std::string checkMask(std::uint32_t mask)
{
    const int prefix = platform::PrefixLength(mask);
    if (prefix < 0)
        return "the mask is not contiguous";
    if (prefix < kShortestPrefix || prefix > kLongestPrefix)
        return "the mask must be /8 to /30";
    return {};
}

std::string checkHost(std::uint32_t address, std::uint32_t mask)
{
    if ((address & ~mask) == 0)
        return "the address is its subnet's network address";
    if ((address & ~mask) == ~mask)
        return "the address is its subnet's broadcast address";
    return {};
}

std::optional<std::size_t> optionIndex(std::string_view word)
{
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        if (word == kOptions[i])
            return i;
    }
    return std::nullopt;
}

// The three option values in kOptions order, or the reason they cannot be had.
std::string optionValues(std::span<const char* const> arguments,
                         std::array<std::string_view, kOptionCount>& values)
{
    if (arguments.size() != 1 + 2 * kOptionCount)
        return "usage: galvorn-netprep prepare --address <IPv4> --mask <IPv4 mask> --mac <MAC>";
    for (const char* argument : arguments) {
        if (argument == nullptr || ::strnlen(argument, kMaxArgumentBytes + 1) > kMaxArgumentBytes)
            return "an argument is longer than " + std::to_string(kMaxArgumentBytes) + " bytes";
    }
    if (arguments[0] != kCommand)
        return "the only command is prepare";
    std::array<bool, kOptionCount> seen{};
    for (std::size_t i = 1; i < arguments.size(); i += 2) {
        const auto index = optionIndex(arguments[i]);
        if (!index)
            return "unknown option " + std::string(arguments[i]);
        if (seen[*index])
            return "option " + std::string(arguments[i]) + " given twice";
        seen[*index] = true;
        values[*index] = arguments[i + 1];
    }
    return {};
}

} // namespace

std::string ParseArguments(std::span<const char* const> arguments, PrepareRequest& request)
{
    std::array<std::string_view, kOptionCount> values;
    if (std::string reason = optionValues(arguments, values); !reason.empty())
        return reason;
    PrepareRequest read;
    if (!platform::parseIpv4(std::string(values[0]), read.address))
        return "the address is not dotted-decimal IPv4";
    if (!platform::parseIpv4(std::string(values[1]), read.mask))
        return "the mask is not dotted-decimal IPv4";
    for (std::string reason : {checkAddress(read.address), checkMask(read.mask),
                               checkHost(read.address, read.mask), parseMac(values[2], read.mac)}) {
        if (!reason.empty())
            return reason;
    }
    request = read;
    return {};
}

} // namespace galvorn::netprep
