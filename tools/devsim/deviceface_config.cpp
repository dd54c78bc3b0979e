#include "tools/devsim/deviceface_config.h"

#include <charconv>
#include <functional>
#include <map>

namespace galvorn::devsim {

namespace {

// Decimal, or hexadecimal with 0x.
bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           value <= max;
}

bool parseFlag(std::string_view text, bool& value)
{
    if (text == "yes" || text == "on" || text == "1") {
        value = true;
        return true;
    }
    if (text == "no" || text == "off" || text == "0") {
        value = false;
        return true;
    }
    return false;
}

// Four bytes in the order they go on the wire, as eight hex digits.
bool parseKey(std::string_view text, std::array<std::uint8_t, 4>& key)
{
    if (text.size() != 8)
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        std::uint64_t byte = 0;
        const auto pair = text.substr(2 * i, 2);
        const auto [end, error] = std::from_chars(pair.data(), pair.data() + 2, byte, 16);
        if (error != std::errc() || end != pair.data() + 2)
            return false;
        key[i] = static_cast<std::uint8_t>(byte);
    }
    return true;
}

bool parseGreeting(std::string_view text, DeviceFaceSettings& settings)
{
    if (text == "normal") {
        settings.greetingFault = GreetingFault::None;
        return true;
    }
    if (text == "missing") {
        settings.greetingFault = GreetingFault::Missing;
        return true;
    }
    std::uint64_t length = 0;
    if (text.starts_with("short:") && parseNumber(text.substr(6), 63, length)) {
        settings.greetingFault = GreetingFault::Short;
        settings.greetingLength = static_cast<std::size_t>(length);
        return true;
    }
    return false;
}

using Setter = std::function<bool(DeviceFaceSettings&, std::string_view)>;

template <typename T>
Setter number(T DeviceFaceSettings::*field, std::uint64_t max)
{
    return [field, max](DeviceFaceSettings& settings, std::string_view text) {
        std::uint64_t value = 0;
        if (!parseNumber(text, max, value))
            return false;
        settings.*field = static_cast<T>(value);
        return true;
    };
}

Setter flag(bool DeviceFaceSettings::*field)
{
    return [field](DeviceFaceSettings& settings, std::string_view text) {
        return parseFlag(text, settings.*field);
    };
}

template <typename T>
Setter accountNumber(T LoginAccount::*field, std::uint64_t max)
{
    return [field, max](DeviceFaceSettings& settings, std::string_view text) {
        std::uint64_t value = 0;
        if (!parseNumber(text, max, value))
            return false;
        settings.account.*field = static_cast<T>(value);
        return true;
    };
}

Setter accountText(std::string LoginAccount::*field)
{
    return [field](DeviceFaceSettings& settings, std::string_view text) {
        settings.account.*field = std::string(text);
        return true;
    };
}

const std::map<std::string_view, Setter>& setters()
{
    static const std::map<std::string_view, Setter> table = {
        {"version", number(&DeviceFaceSettings::protocolVersion, 0xFFFFFFFF)},
        {"cipher", accountNumber(&LoginAccount::cipherType, 0xFFFFFFFF)},
        {"key", [](DeviceFaceSettings& settings,
                   std::string_view text) { return parseKey(text, settings.account.cipherKey); }},
        {"challenge", accountNumber(&LoginAccount::challenge, 0xFFFFFF)},
        {"passwordMode", accountNumber(&LoginAccount::passwordMode, 0xFF)},
        {"user", accountText(&LoginAccount::user)},
        {"password", accountText(&LoginAccount::password)},
        {"greeting", [](DeviceFaceSettings& settings,
                        std::string_view text) { return parseGreeting(text, settings); }},
        {"wrongPasswordCode", number(&DeviceFaceSettings::wrongCredentialsCode, 0xFFFFFFFF)},
        {"maxConnections", number(&DeviceFaceSettings::maxConnections, 0xFFFF)},
        {"connectionLimitCode", number(&DeviceFaceSettings::connectionLimitCode, 0xFFFFFFFF)},
        {"refuseLogin", number(&DeviceFaceSettings::refuseEveryLogin, 0xFFFFFFFF)},
        {"answerKeepAlives", flag(&DeviceFaceSettings::answerKeepAlives)},
        {"idleLimitMs", number(&DeviceFaceSettings::idleLimitMs, 3600000)},
        {"fragmentSize", number(&DeviceFaceSettings::fragmentSize, 64u * 1024 * 1024)},
        {"fragmentChannel", number(&DeviceFaceSettings::fragmentChannel, 2)},
        {"keepAliveBetweenFragments", flag(&DeviceFaceSettings::keepAliveBetweenFragments)},
        {"eventsAfterLogin", flag(&DeviceFaceSettings::eventsAfterLogin)},
        {"noReply", flag(&DeviceFaceSettings::noReply)},
        {"closeAfter", number(&DeviceFaceSettings::closeAfterMessages, 0xFFFFFFFF)},
        {"badMagic", flag(&DeviceFaceSettings::badMagic)},
        {"replyDelayUs", number(&DeviceFaceSettings::replyDelayUs, 60000000)},
        {"unknownReply", flag(&DeviceFaceSettings::unknownReplyId)},
        {"ignoreCommand", number(&DeviceFaceSettings::ignoreCommand, 0xFFFFFFFF)},
        {"record",
         [](DeviceFaceSettings& settings, std::string_view text) {
             settings.recordPath = std::string(text);
             return !text.empty();
         }},
    };
    return table;
}

} // namespace

std::string setDeviceFaceKey(DeviceFaceSettings& settings, std::string_view key,
                             std::string_view value)
{
    if (!isDeviceFaceKey(key))
        return "not a device key: " + std::string(key);
    const auto name = key.substr(kDeviceKeyPrefix.size());
    const auto found = setters().find(name);
    if (found == setters().end())
        return "unknown key " + std::string(key);
    if (!found->second(settings, value))
        return "bad value for " + std::string(key) + ": " + std::string(value);
    return {};
}

} // namespace galvorn::devsim
