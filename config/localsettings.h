#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace galvorn {

inline constexpr int kDeviceColumnCount = 17;
inline constexpr int kMinDialogWidth = 1200;
inline constexpr int kMinDialogHeight = 740;
inline constexpr char kSettingsFileName[] = "Galvorn.ini";
inline constexpr char kSettingsSection[] = "LocalSetting";

inline constexpr std::uint32_t kLanguageChinesePrc = 0x804;
inline constexpr std::uint32_t kLanguageChineseTaiwan = 0x404;
inline constexpr std::uint32_t kLanguageEnglishUs = 0x409;

struct DeviceColumnDefault
{
    const char* titleKey; // nullptr for the tick-box column
    int width;
    bool shown;
};

// The device tree's 17 columns: title key, default width, shown by default.
inline constexpr std::array<DeviceColumnDefault, kDeviceColumnCount> kDeviceColumns{{
    {nullptr, 40, true},
    {"IDCS_DEVICE_NAME", 120, true},
    {"IDCS_DEVICE_TYPE", 100, false},
    {"IDCS_PRODUCT_MODE", 120, true},
    {"IDCS_IP_ADDRESS", 140, true},
    {"IDCS_HTTP_PORT", 120, false},
    {"IDCS_PORT", 120, false},
    {"IDCS_SUBNET_MASK", 120, false},
    {"IDCS_GATEWAY", 120, false},
    {"IDCS_SOFT_VERSION", 160, true},
    {"IDCS_SOFT_CREATE_DATE", 190, true},
    {"IDCS_MAC_ADDRESS", 160, true},
    {"IDCS_KERNEL_VERSION", 120, true},
    {"IDCS_START_TIME", 200, false},
    {"IDCS_RUN_TIME", 160, false},
    {"IDCS_STATUS", 160, true},
    {"IDCS_EXPLAIN", 150, false},
}};

// What the main window keeps from Galvorn.ini. The program reads the file once at
// start-up and writes back only the window size.
struct LocalSettings
{
    std::array<std::int32_t, kDeviceColumnCount> columnWidths{};
    std::array<std::uint8_t, kDeviceColumnCount> columnShown{};
    std::string iniPath;
    std::uint32_t languageId = kLanguageEnglishUs;
    int dialogWidth = kMinDialogWidth;
    int dialogHeight = kMinDialogHeight;
};

// The settings file in the user's configuration folder (the folder is never created).
std::string settingsFilePath();

// Reads the settings at iniPath; missing or damaged values take their defaults.
// localeName is the system locale's name, such as "zh_CN", and chooses the language
// when the file does not.
LocalSettings readLocalSettings(const std::string& iniPath, std::string_view localeName);

// Writes DialogWidth and DialogHeight. False when the file cannot be written.
bool saveWindowSize(const std::string& iniPath, int width, int height);

// The language identifier the system locale asks for: 0x804, 0x404 or 0x409.
std::uint32_t defaultLanguageId(std::string_view localeName);

// The example folder's name for the locale: "zh-cn", "zh-tw" or "en-us".
std::string exampleFolderName(std::string_view localeName);

} // namespace galvorn
