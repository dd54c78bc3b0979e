#pragma once

#include <string_view>

// The debug channel of the connection code: lines that help a developer follow a
// connection but that the operator never sees. They go to standard error when the
// environment variable GALVORN_DEBUG is set (to anything) and nowhere otherwise; the
// variable is read once, on first use.
namespace galvorn::platform {

bool debugEnabled() noexcept;

// Writes one line; a missing line break is added. Safe from any thread: each line
// leaves in one write, so lines of different threads do not interleave.
void debugLine(std::string_view line) noexcept;

// printf-style form of debugLine(). Output longer than 1023 bytes is cut.
void debugPrintf(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// The error report of a failed system call: "<file> <line> <system error text>" for the
// current errno, on the debug channel. errno is left as it was.
void debugSystemError(const char* file, int line) noexcept;

} // namespace galvorn::platform
