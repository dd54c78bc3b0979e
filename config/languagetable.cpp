#include "config/languagetable.h"

#include "config/inifile.h"

#include <cstdio>
#include <memory>

namespace galvorn {

namespace {

std::unique_ptr<IniFile>& table()
{
    static std::unique_ptr<IniFile> loaded;
    return loaded;
}

std::string decodeEscapes(std::string_view raw)
{
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            text += raw[i];
            continue;
        }
        switch (raw[++i]) {
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case 't':
            text += '\t';
            break;
        case '\\':
            text += '\\';
            break;
        case '"':
            text += '"';
            break;
        default:
            text += '\\';
            text += raw[i];
        }
    }
    return text;
}

} // namespace

std::string languageIndexKey(std::uint32_t languageId)
{
    char key[16];
    std::snprintf(key, sizeof key, "0x%04x", languageId);
    return key;
}

std::string chooseLanguageName(const std::string& dir, std::uint32_t languageId,
                               std::string_view localeName)
{
    const IniFile index = IniFile::load(dir + "/language/LanguageIndex.ini");
    std::string name = index.value("languages", languageIndexKey(languageId)).value_or("");
    if (!name.empty())
        return name;
    return localeName == "zh_CN" ? "Chinese (PRC)" : "English (United States)";
}

std::string languageFilePath(const std::string& dir, std::uint32_t languageId,
                             std::string_view localeName)
{
    return dir + "/language/" + chooseLanguageName(dir, languageId, localeName) + ".ini";
}

void loadLanguage(const std::string& dir, std::uint32_t languageId, std::string_view localeName)
{
    table() =
        std::make_unique<IniFile>(IniFile::load(languageFilePath(dir, languageId, localeName)));
}

std::string languageText(std::string_view key)
{
    if (key.empty() || !table())
        return {};
    const auto value = table()->value("text", key);
    return value ? decodeEscapes(*value) : std::string{};
}

void releaseLanguage()
{
    table().reset();
}

} // namespace galvorn
