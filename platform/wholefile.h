#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace galvorn::platform {

// Why a file could not be read whole.
enum class WholeFileFault
{
    None,
    Missing,    // no file of that name
    Unreadable, // not a regular file, or a read failed
    TooLarge,   // more than the caller's bound
};

// The whole of a regular file of at most `maxBytes`; otherwise nothing, with `fault`
// saying why. The file is opened without blocking, so a FIFO or a device named like the
// file cannot hang the reader, and nothing is read beyond the bound.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::size_t maxBytes, WholeFileFault& fault);

// The same as text.
std::optional<std::string> ReadWholeTextFile(const std::string& path, std::size_t maxBytes,
                                             WholeFileFault& fault);

} // namespace galvorn::platform
