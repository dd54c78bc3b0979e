#include "config/inifile.h"

#include "platform/debuglog.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace galvorn {

namespace {

std::string_view trim(std::string_view s)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view stripBom(std::string_view text)
{
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    return text;
}

// The whole file, or nothing with the reason in `why`.
std::optional<std::string> readFile(const std::string& path, const char*& why)
{
    std::ifstream in(path, std::ios::binary);
    why = "it cannot be opened";
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    why = "it is larger than the settings file may be";
    if (size < 0 || static_cast<std::size_t>(size) > IniFile::kMaxFileBytes)
        return std::nullopt;
    in.seekg(0);
    std::string text(static_cast<std::size_t>(size), '\0');
    why = "it cannot be read";
    if (!in.read(text.data(), size))
        return std::nullopt;
    return text;
}

std::optional<std::string> readFile(const std::string& path)
{
    const char* why = nullptr;
    return readFile(path, why);
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> sectionOf(std::string_view line)
{
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

std::optional<std::string_view> keyOf(std::string_view line)
{
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || line.starts_with(';') || line.starts_with('#'))
        return std::nullopt;
    return trim(line.substr(0, eq));
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

int leadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

IniFile IniFile::load(const std::string& path)
{
    const auto text = readFile(path);
    return text ? parse(*text) : IniFile{};
}

IniFile IniFile::parse(std::string_view text)
{
    IniFile ini;
    std::string section;
    for (std::string_view raw : splitLines(stripBom(text))) {
        const std::string_view line = trim(raw);
        if (const auto name = sectionOf(line)) {
            section = *name;
            continue;
        }
        const auto key = keyOf(line);
        if (!key || key->empty())
            continue;
        const std::string_view value = unquote(trim(line.substr(line.find('=') + 1)));
        ini.entries_.push_back({section, std::string(*key), std::string(value)});
    }
    return ini;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    for (const Entry& e : entries_) {
        if (equalsIgnoringCase(e.section, section) && equalsIgnoringCase(e.key, key))
            return e.value;
    }
    return std::nullopt;
}

std::string IniFile::getString(std::string_view section, std::string_view key,
                               std::string_view fallback, std::size_t maxChars) const
{
    const auto found = value(section, key);
    std::string result = found ? *found : std::string(fallback);
    if (result.size() > maxChars)
        result.resize(maxChars);
    return result;
}

int IniFile::getInt(std::string_view section, std::string_view key, int fallback) const
{
    const auto found = value(section, key);
    return found ? leadingInt(*found) : fallback;
}

bool IniFile::writeValue(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view value)
{
    std::string text;
    std::error_code missing;
    if (std::filesystem::exists(path, missing)) {
        // Rewriting a file whose lines were never read would lose every one of them.
        const char* why = nullptr;
        const std::optional<std::string> read = readFile(path, why);
        if (!read) {
            platform::debugPrintf("settings: %s is not written because %s", path.c_str(), why);
            return false;
        }
        text = *read;
    }
    const std::vector<std::string_view> lines = splitLines(stripBom(text));
    const std::string newLine = std::string(key) + "=" + std::string(value);

    // A byte-order mark stays: without it a file that opens with two would change meaning.
    std::ostringstream out;
    if (text.starts_with(kByteOrderMark))
        out << kByteOrderMark;
    bool inSection = false;
    bool written = false;
    std::size_t sectionEnd = std::string_view::npos; // index after the section's last key line
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i]);
        if (const auto name = sectionOf(line)) {
            inSection = equalsIgnoringCase(*name, section);
            if (inSection)
                sectionEnd = i + 1;
        } else if (inSection && !written) {
            if (const auto k = keyOf(line); k && equalsIgnoringCase(*k, key)) {
                out << newLine << '\n';
                written = true;
                continue;
            }
            if (!line.empty())
                sectionEnd = i + 1;
        }
        out << lines[i] << '\n';
    }
    std::string result = out.str();
    if (!written) {
        if (sectionEnd == std::string_view::npos) {
            result += "[" + std::string(section) + "]\n" + newLine + "\n";
        } else {
            // Insert after the section's last non-empty line.
            std::size_t pos = 0;
            for (std::size_t i = 0; i < sectionEnd; ++i)
                pos = result.find('\n', pos) + 1;
            result.insert(pos, newLine + "\n");
        }
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return file.write(result.data(), static_cast<std::streamsize>(result.size())) && file.flush();
}

} // namespace galvorn
