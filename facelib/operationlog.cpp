#include "facelib/operationlog.h"

#include "facelib/resultcodes.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace galvorn {

namespace {

// How many "_<n>" names are tried before a folder is given up: far more logs than one
// second of batch adds can write.
constexpr int kMaxNameSuffix = 999;

enum class Write
{
    Written,
    Exists,
    Failed,
};

// Creates the file with exactly text; a file that exists is left alone, and one left
// half-written is removed.
Write writeNewFile(const std::string& path, std::string_view text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? Write::Exists : Write::Failed;
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
    return ok ? Write::Written : Write::Failed;
}

// "<stem>.log", then "<stem>_1.log", "<stem>_2.log", ...
std::string candidateName(const std::string& name, int suffix)
{
    if (suffix == 0)
        return name;
    const std::size_t dot = name.rfind('.');
    return name.substr(0, dot) + "_" + std::to_string(suffix) + name.substr(dot);
}

std::string writeInto(const std::string& folder, const std::string& name, std::string_view text)
{
    if (folder.empty() || !platform::makePath(folder))
        return {};
    for (int suffix = 0; suffix <= kMaxNameSuffix; ++suffix) {
        const std::string path = folder + "/" + candidateName(name, suffix);
        switch (writeNewFile(path, text)) {
        case Write::Written:
            return path;
        case Write::Exists:
            continue;
        case Write::Failed:
            return {};
        }
    }
    return {};
}

} // namespace

void BatchAddLog::addRefusal(std::string_view pictureName, tint32 code)
{
    addLine(pictureName, resultCodeText(code));
}

void BatchAddLog::addLine(std::string_view pictureName, std::string_view reason)
{
    if (!text_.empty())
        text_ += kLogLineSeparator;
    text_ += pictureName;
    text_ += kLogFieldSeparator;
    text_ += reason;
}

LogFolders defaultLogFolders()
{
    LogFolders folders;
    if (platform::runsFromBuildTree())
        folders.primary = platform::executableDir() + "/log";
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

std::string writeOperationLog(std::string_view text, const LogFolders& folders)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return writeOperationLog(text, local, folders);
}

} // namespace galvorn
