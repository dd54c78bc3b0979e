#pragma once

#include <chrono>

namespace galvorn {

// How long the face-library operations wait for the device: a transfer counts from its
// last sign of progress (a reply, a chunk, a page), a batch add from each person's
// request. One set per run; tests shorten them.
struct TransferLimits
{
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
