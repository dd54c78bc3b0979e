#pragma once

#include "tools/devsim/deviceface_settings.h"

#include <string>
#include <string_view>

namespace galvorn::devsim {

// The configuration keys of the device-protocol face all begin with this (docs/devsim.md).
inline constexpr std::string_view kDeviceKeyPrefix = "device.";

inline bool isDeviceFaceKey(std::string_view key)
{
    return key.starts_with(kDeviceKeyPrefix);
}

// Applies one "device.<name> = value" setting. Empty result on success, else the reason.
std::string setDeviceFaceKey(DeviceFaceSettings& settings, std::string_view key,
                             std::string_view value);

} // namespace galvorn::devsim
