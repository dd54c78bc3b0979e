#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn {

// An ini file read and written with private-profile rules: section and key names
// compare without regard to ASCII case, names and values are trimmed, a value wrapped
// in one pair of double quotes loses the quotes, lines starting with ';' or '#' are
// comments, and the first of two equal keys wins. Anything else on a line (garbage,
// a line without '=') is skipped, so a damaged file degrades to missing keys.
class IniFile
{
public:
    // Files above this size are treated as empty: a settings file is a few hundred
    // bytes, and a huge one is not ours.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;

    IniFile() = default;

    // Reads the file. A missing, unreadable or oversized file gives an empty IniFile.
    static IniFile load(const std::string& path);
    static IniFile parse(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // The value cut to maxChars bytes, or fallback when the key is absent.
    std::string getString(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const;

    // The value's leading decimal integer (optional sign), 0 when it has no digits,
    // fallback when the key is absent.
    int getInt(std::string_view section, std::string_view key, int fallback) const;

    // Sets key=value in the section of the file at path, keeping every other line as
    // it was, a byte-order mark included. Creates the file (not its folder) when missing.
    // A file that exists but cannot be read (over the size cap, no permission) is left
    // alone, with the reason on the debug channel. False when nothing was written.
    static bool writeValue(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view value);

private:
    struct Entry
    {
        std::string section;
        std::string key;
        std::string value;
    };
    std::vector<Entry> entries_;
};

// atoi's reading: leading white space, an optional sign, then digits up to the first
// non-digit; 0 without digits. Saturates instead of overflowing.
int leadingInt(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace galvorn
