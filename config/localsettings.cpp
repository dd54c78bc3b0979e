#include "config/localsettings.h"

#include "config/inifile.h"
#include "platform/paths.h"

#include <cstdio>
#include <string>

namespace galvorn {

namespace {

constexpr std::size_t kLanguageChars = 31;
constexpr std::size_t kNumberChars = 15;

bool isTraditionalChineseLocale(std::string_view locale)
{
    return locale == "zh_TW" || locale == "zh_HK" || locale == "zh_SG";
}

int readWidth(const IniFile& ini, const std::string& key, int fallback)
{
    const std::string text =
        ini.getString(kSettingsSection, key, std::to_string(fallback), kNumberChars);
    const int width = leadingInt(text);
    return width == 0 ? fallback : width;
}

// "%x" reading of the Language value: leading white space, an optional 0x, then hex
// digits. Nothing read leaves the identifier unchanged.
void parseLanguageId(const std::string& text, std::uint32_t& id)
{
    unsigned int parsed = 0;
    if (std::sscanf(text.c_str(), "%x", &parsed) == 1)
        id = parsed;
}

} // namespace

std::string settingsFilePath()
{
    const std::string dir = platform::configHomeDir();
    return dir.empty() ? std::string(kSettingsFileName) : dir + "/" + kSettingsFileName;
}

std::uint32_t defaultLanguageId(std::string_view localeName)
{
    if (localeName == "zh_CN")
        return kLanguageChinesePrc;
    if (isTraditionalChineseLocale(localeName))
        return kLanguageChineseTaiwan;
    return kLanguageEnglishUs;
}

std::string exampleFolderName(std::string_view localeName)
{
    if (localeName == "zh_CN")
        return "zh-cn";
    if (isTraditionalChineseLocale(localeName))
        return "zh-tw";
    return "en-us";
}

LocalSettings readLocalSettings(const std::string& iniPath, std::string_view localeName)
{
    const IniFile ini = IniFile::load(iniPath);
    LocalSettings settings;
    settings.iniPath = iniPath;
    for (int i = 0; i < kDeviceColumnCount; ++i) {
        const DeviceColumnDefault& column = kDeviceColumns[static_cast<std::size_t>(i)];
        const std::string n = std::to_string(i);
        settings.columnWidths[static_cast<std::size_t>(i)] =
            readWidth(ini, "ColumnWidth" + n, column.width);
        settings.columnShown[static_cast<std::size_t>(i)] =
            ini.getInt(kSettingsSection, "ColumnShow" + n, column.shown ? 1 : 0) != 0;
    }
    settings.dialogWidth = leadingInt(ini.getString(kSettingsSection, "DialogWidth",
                                                    std::to_string(kMinDialogWidth), kNumberChars));
    settings.dialogHeight = leadingInt(ini.getString(
        kSettingsSection, "DialogHeight", std::to_string(kMinDialogHeight), kNumberChars));
    settings.languageId = defaultLanguageId(localeName);
    const std::string language = ini.getString(kSettingsSection, "Language", "", kLanguageChars);
    if (!language.empty())
        parseLanguageId(language, settings.languageId);
    return settings;
}

bool saveWindowSize(const std::string& iniPath, int width, int height)
{
    return IniFile::writeValue(iniPath, kSettingsSection, "DialogWidth", std::to_string(width)) &&
           IniFile::writeValue(iniPath, kSettingsSection, "DialogHeight", std::to_string(height));
}

} // namespace galvorn
