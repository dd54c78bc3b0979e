#include "platform/debuglog.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace galvorn::platform {

namespace {

constexpr std::size_t kMaxLine = 1024;

void writeLine(const char* text, std::size_t length) noexcept
{
    char line[kMaxLine + 1];
    if (length > kMaxLine)
        length = kMaxLine;
    std::memcpy(line, text, length);
    if (length == 0 || line[length - 1] != '\n')
        line[length++] = '\n';
    // One write per line; a short write to stderr is not worth a retry here.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, length);
}

} // namespace

bool debugEnabled() noexcept
{
    static const bool enabled = std::getenv("GALVORN_DEBUG") != nullptr;
    return enabled;
}

void debugLine(std::string_view line) noexcept
{
    if (!debugEnabled())
        return;
    writeLine(line.data(), line.size());
}

void debugPrintf(const char* format, ...) noexcept
{
    if (!debugEnabled())
        return;
    char text[kMaxLine];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    writeLine(text, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof text - 1));
}

void debugSystemError(const char* file, int line) noexcept
{
    const int saved = errno;
    if (debugEnabled()) {
        char buffer[256];
        // The GNU strerror_r returns the text, which may or may not be in the buffer.
        const char* reason = ::strerror_r(saved, buffer, sizeof buffer);
        debugPrintf("%s %d %s", file, line, reason);
    }
    errno = saved;
}

} // namespace galvorn::platform
