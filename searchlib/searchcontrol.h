#pragma once

// C++ entry points beside the C interface, on the same library instance. They exist so
// that tests can search with periods far shorter than a second and see how the search
// sized itself.

#include <cstdint>

namespace galvorn::searchlib {

// QUARLO_SEARCH_StartAuto with the period in milliseconds (>= 2, so that each of the two
// probe rounds of a period has a distinct time).
int startAutoMilliseconds(int periodMilliseconds);

struct SearchStatistics
{
    // Datagrams the kernel dropped because the receive buffer was full.
    std::uint64_t lostAnswers = 0;
    // The receive buffer as the kernel counts it (twice what it holds of datagrams).
    int receiveBufferBytes = 0;
    // The answer delay the last probe round asked for.
    std::uint16_t answerDelayMs = 0;
};

// All zero while the library is not prepared.
SearchStatistics searchStatistics();

} // namespace galvorn::searchlib
