#pragma once

#include <chrono>

namespace galvorn {

// How long a face-library transfer waits for the device, counted from its last sign of
// progress (a reply, a chunk, a page). One set per run; tests shorten them.
struct TransferLimits
{
    std::chrono::milliseconds exportWait{100000};
    std::chrono::milliseconds importWait{60000};
    std::chrono::milliseconds csvWait{60000};
};

} // namespace galvorn
