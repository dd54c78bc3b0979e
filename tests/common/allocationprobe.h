#pragma once

#include <atomic>
#include <cstddef>

// What operator new has handed out, so that a test can show that a declared length was
// refused, or not trusted, before any buffer was made for it. The test binary that
// includes allocationprobe.cpp replaces the global operator new.
namespace allocationprobe {

// Forgets the largest allocation seen so far.
void reset();
// The largest single allocation since the last reset.
std::size_t largest();
// The bytes allocated through operator new and not yet freed, as the allocator sized
// them; compare two readings to see what a piece of code keeps.
std::size_t live();

} // namespace allocationprobe
