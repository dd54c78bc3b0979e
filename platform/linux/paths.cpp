#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace galvorn::platform {

namespace {

std::string homeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

// XDG rules: an unset, empty or relative variable is ignored.
std::string xdgDir(const char* variable, const char* fallbackBelowHome)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    const std::string home = homeDir();
    if (home.empty())
        return {};
    return home + "/" + fallbackBelowHome;
}

} // namespace

std::string executableDir()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

bool runsFromBuildTree()
{
    const std::string program = executableDir();
    std::error_code ec;
    return !program.empty() && std::filesystem::is_directory(program + "/language", ec);
}

std::string dataDir()
{
    const std::string program = executableDir();
    if (program.empty() || runsFromBuildTree())
        return program;
    return (std::filesystem::path(program) / GALVORN_DATA_FROM_BINDIR).lexically_normal().string();
}

std::string configHomeDir()
{
    return xdgDir("XDG_CONFIG_HOME", ".config");
}

std::string dataHomeDir()
{
    return xdgDir("XDG_DATA_HOME", ".local/share");
}

bool makePath(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

bool isWritableDir(const std::string& dir)
{
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

} // namespace galvorn::platform
