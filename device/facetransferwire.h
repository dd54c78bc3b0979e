#pragma once

#include <cstddef>
#include <cstdint>

// The words of a face-library transfer that both ends must agree on: Galvorn's transfers,
// the simulated camera and the benchmark's reference client all take them from here.
namespace galvorn::device {

// Which way a transfer start asks the library to move.
inline constexpr std::uint32_t kDirectionExport = 1;
inline constexpr std::uint32_t kDirectionImport = 2;

// The state word of an export-data reply.
inline constexpr std::uint32_t kStateFailed = 0;
inline constexpr std::uint32_t kStateData = 1;
inline constexpr std::uint32_t kStateEnd = 2;

// An import chunk request: transfer id, "more" or "last", the chunk's length, the chunk.
inline constexpr std::size_t kChunkHeadSize = 12;
inline constexpr std::uint32_t kChunkMore = 1;
inline constexpr std::uint32_t kChunkLast = 2;

// The library password's fixed field in a transfer start, terminator included.
inline constexpr std::size_t kLibraryPasswordField = 128;

} // namespace galvorn::device
