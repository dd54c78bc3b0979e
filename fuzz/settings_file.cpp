// Galvorn.ini as the program reads it at start and writes it when the window is
// resized. The input is the file; a resize must keep every other key as it was.
#include "config/inifile.h"
#include "config/localsettings.h"
#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"

#include <fstream>
#include <set>
#include <utility>

using namespace galvorn;
using galvorn::fuzz::FuzzInput;
using galvorn::fuzz::text;

namespace {

using Name = std::pair<std::string, std::string>;

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::string_view(" \t\r").find(s.front()) != std::string_view::npos)
        s.remove_prefix(1);
    while (!s.empty() && std::string_view(" \t\r").find(s.back()) != std::string_view::npos)
        s.remove_suffix(1);
    return s;
}

// Every name that might be a key of the text, under every section name that precedes it:
// a superset, so that the check below looks at every key the file has.
std::set<Name> candidateNames(std::string_view text)
{
    std::set<std::string> sections = {"", kSettingsSection};
    std::set<std::string> keys = {"DialogWidth", "DialogHeight", "Language", "ColumnWidth0"};
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with("\xEF\xBB\xBF"))
            line = trimmed(line.substr(3));
        if (line.starts_with('[') && line.find(']') != std::string_view::npos)
            sections.emplace(trimmed(line.substr(1, line.find(']') - 1)));
        if (const std::size_t eq = line.find('='); eq != std::string_view::npos)
            keys.emplace(trimmed(line.substr(0, eq)));
    }
    std::set<Name> names;
    for (const std::string& section : sections)
        for (const std::string& key : keys)
            names.emplace(section, key);
    return names;
}

bool isWindowSize(const Name& name)
{
    return equalsIgnoringCase(name.first, kSettingsSection) &&
           (equalsIgnoringCase(name.second, "DialogWidth") ||
            equalsIgnoringCase(name.second, "DialogHeight"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const int width = static_cast<int>(input.u32() % 100000);
    const int height = static_cast<int>(input.u32() % 100000);
    const std::string_view file = text(input.rest());

    const fuzz::ScratchFolder scratch;
    const std::string path = scratch.path() + "/" + kSettingsFileName;
    std::ofstream(path, std::ios::binary)
        .write(file.data(), static_cast<std::streamsize>(file.size()));

    const IniFile before = IniFile::load(path);
    const LocalSettings settings = readLocalSettings(path, "en_US");
    if (!saveWindowSize(path, width, height))
        return 0;

    const IniFile after = IniFile::load(path);
    FUZZ_CHECK(after.getInt(kSettingsSection, "DialogWidth", -1) == width);
    FUZZ_CHECK(after.getInt(kSettingsSection, "DialogHeight", -1) == height);
    // Every other key keeps its value, or stays absent.
    for (const Name& name : candidateNames(file)) {
        if (!isWindowSize(name))
            FUZZ_CHECK(after.value(name.first, name.second) ==
                       before.value(name.first, name.second));
    }
    // And the settings the program reads from it, apart from the size, are the same.
    LocalSettings reread = readLocalSettings(path, "en_US");
    FUZZ_CHECK(reread.dialogWidth == width && reread.dialogHeight == height);
    reread.dialogWidth = settings.dialogWidth;
    reread.dialogHeight = settings.dialogHeight;
    FUZZ_CHECK(reread.columnWidths == settings.columnWidths);
    FUZZ_CHECK(reread.columnShown == settings.columnShown);
    FUZZ_CHECK(reread.languageId == settings.languageId);
    return 0;
}
