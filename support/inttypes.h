#pragma once

#include <cstdint>

// The program's fixed-width integer names, used in records that cross threads.
using tint16 = std::int16_t;
using tuint16 = std::uint16_t;
using tint32 = std::int32_t;
using tuint32 = std::uint32_t;
using tint64 = std::int64_t;
using tuint64 = std::uint64_t;
// Pointer-sized, so that a pointer passed as a number survives on 64-bit systems.
using tint_ptr = std::intptr_t;
using tuint_ptr = std::uintptr_t;
