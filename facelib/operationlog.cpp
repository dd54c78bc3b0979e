#include "facelib/operationlog.h"

#include "facelib/resultcodes.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace galvorn {

namespace {

// Creates or replaces the file with exactly text; a file left half-written is removed.
bool writeWholeFile(const std::string& path, std::string_view text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    while (ok && !text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        if (ok)
            text.remove_prefix(static_cast<std::size_t>(written));
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

std::string writeInto(const std::string& folder, const std::string& name, std::string_view text)
{
    if (folder.empty() || !platform::makePath(folder))
        return {};
    const std::string path = folder + "/" + name;
    return writeWholeFile(path, text) ? path : std::string{};
}

} // namespace

void BatchAddLog::addRefusal(std::string_view pictureName, tint32 code)
{
    if (!text_.empty())
        text_ += "\r\n";
    text_ += pictureName;
    text_ += "\t\t";
    text_ += resultCodeText(code);
}

LogFolders defaultLogFolders()
{
    LogFolders folders;
    if (const std::string program = platform::executableDir(); !program.empty())
        folders.primary = program + "/log";
    if (const std::string data = platform::dataHomeDir(); !data.empty())
        folders.fallback = data + "/Galvorn/log";
    return folders;
}

std::string logFileName(const std::tm& localTime)
{
    char name[48];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d%02d%02d.log", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return name;
}

std::string writeOperationLog(std::string_view text, const std::tm& localTime,
                              const LogFolders& folders)
{
    const std::string name = logFileName(localTime);
    std::string path = writeInto(folders.primary, name, text);
    if (path.empty())
        path = writeInto(folders.fallback, name, text);
    return path;
}

std::string writeOperationLog(std::string_view text)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return writeOperationLog(text, local, defaultLogFolders());
}

} // namespace galvorn
