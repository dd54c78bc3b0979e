#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// How the search sizes itself to the site: how long cameras may wait before they answer
// a probe, and how large the receive buffer is.
namespace galvorn::searchlib {

// Each camera expected adds this much to the answer delay, so that a site answers at
// about 4000 answers a second, which the engine reads and the buffer holds.
inline constexpr std::chrono::microseconds kAnswerSpreadPerCamera{250};
// Even a site not known yet (the first round of a search) is spread over this much.
inline constexpr std::chrono::milliseconds kMinAnswerDelay{100};
// The kernel charges about 2.3 KB of receive buffer for an answer of 1 KB; this leaves
// room for larger documents.
inline constexpr int kReceiveBytesPerCamera = 4096;
inline constexpr int kMinReceiveBufferBytes = 1 << 20;

// The answer delay a probe asks for when `expectedCameras` are expected to answer. Never
// more than a quarter of the period: an answer to the second probe round, sent half a
// period in, then still arrives within the period, so a camera whose first answer was
// lost is still listed within one period. Never more than the protocol allows.
std::uint16_t answerDelayMs(std::size_t expectedCameras, std::chrono::milliseconds period);

// The receive buffer that holds the answers of `cameras` arriving at once.
int receiveBufferBytes(std::size_t cameras);

} // namespace galvorn::searchlib
