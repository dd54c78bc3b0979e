#include "facelib/retrylog.h"

#include "facelib/operationlog.h"
#include "platform/wholefile.h"

#include <set>

namespace galvorn {

namespace {

std::string_view fileNameOf(std::string_view path)
{
    return path.substr(path.find_last_of('/') + 1);
}

} // namespace

std::optional<std::string> ReadRefusalLog(const std::string& path)
{
    platform::WholeFileFault fault = platform::WholeFileFault::None;
    return platform::ReadWholeTextFile(path, kMaxRefusalLogBytes, fault);
}

std::vector<std::string> LoggedPictureNames(std::string_view log)
{
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        std::string_view line = log.substr(0, end);
        log = end == std::string_view::npos ? std::string_view() : log.substr(end + 1);
        const std::size_t separator = line.find(kLogFieldSeparator);
        if (separator == std::string_view::npos || separator == 0)
            continue;
        const std::string_view name = line.substr(0, separator);
        if (seen.insert(std::string(name)).second)
            names.emplace_back(name);
    }
    return names;
}

std::vector<PersonInfo> PersonsNamedInLog(const std::vector<PersonInfo>& persons,
                                          const std::vector<std::string>& names,
                                          std::vector<std::string>& unmatched)
{
    const std::set<std::string, std::less<>> wanted(names.begin(), names.end());
    std::set<std::string, std::less<>> found;
    std::vector<PersonInfo> chosen;
    for (const PersonInfo& person : persons) {
        const std::string_view name = fileNameOf(person.picturePath);
        if (const auto entry = wanted.find(name); entry != wanted.end()) {
            chosen.push_back(person);
            found.insert(*entry);
        }
    }
    unmatched.clear();
    for (const std::string& name : names)
        if (!found.contains(name))
            unmatched.push_back(name);
    return chosen;
}

} // namespace galvorn
