#include "searchlib/macaddress.h"

namespace galvorn::searchlib {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string MacAddress::text() const
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(17);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            out += ':';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

std::optional<MacAddress> MacAddress::parse(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    MacAddress mac;
    for (std::size_t i = 0; i < mac.bytes.size(); ++i) {
        const std::size_t at = i * 3;
        if (i != 0 && text[at - 1] != ':')
            return std::nullopt;
        const int high = hexValue(text[at]);
        const int low = hexValue(text[at + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        mac.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return mac;
}

bool MacAddress::isUnicast() const
{
    return key() != 0 && (bytes[0] & 0x01) == 0;
}

std::uint64_t MacAddress::key() const
{
    std::uint64_t value = 0;
    for (const auto b : bytes)
        value = value << 8 | b;
    return value;
}

} // namespace galvorn::searchlib
