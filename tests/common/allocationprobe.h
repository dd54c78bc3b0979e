#pragma once

#include <atomic>
#include <cstddef>

// The largest single allocation made through operator new since the last reset, so that
// a test can show that a declared length was refused before any buffer was made for it.
// The test binary that includes allocationprobe.cpp replaces the global operator new.
namespace allocationprobe {

void reset();
std::size_t largest();

} // namespace allocationprobe
