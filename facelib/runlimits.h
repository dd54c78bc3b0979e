#pragma once

#include "device/netdvsdevice.h"

#include <chrono>

namespace galvorn {

// Every time limit of a run, fixed when the run starts. The defaults are the protocol's;
// tests shorten them instead of waiting them out.
struct RunLimits
{
    // Connecting to a device, and reading its greeting once connected.
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds greeting{2000};
    // The login reply and the link's own limits (keep-alive, idle, stalled frames).
    device::SessionLimits session;
    // A transfer counts from its last sign of progress (a reply, a chunk, a page), a
    // batch add from each person's request.
    std::chrono::milliseconds exportWait{100000};
    std::chrono::milliseconds importWait{60000};
    std::chrono::milliseconds csvWait{60000};
    std::chrono::milliseconds addReplyWait{30000};
    // A batch add gives a device up once more persons than this in a row went unanswered.
    unsigned maxConsecutiveAddTimeouts = 10;
    // An export fails once more data replies than this in a row said "more" without
    // bringing a byte.
    unsigned maxConsecutiveEmptyChunks = 16;
};

} // namespace galvorn
