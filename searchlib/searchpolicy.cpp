#include "searchlib/searchpolicy.h"

#include "searchlib/devicetable.h"
#include "searchlib/wire.h"

#include <algorithm>

namespace galvorn::searchlib {

std::uint16_t answerDelayMs(std::size_t expectedCameras, std::chrono::milliseconds period)
{
    using std::chrono::milliseconds;
    const std::size_t cameras = std::min(expectedCameras, kMaxTrackedCameras);
    const auto spread = std::chrono::duration_cast<milliseconds>(
        kAnswerSpreadPerCamera * static_cast<std::int64_t>(cameras));
    const milliseconds bound = std::min(period / 4, milliseconds{wire::kMaxAnswerDelayMs});
    const milliseconds delay = std::min(std::max(spread, kMinAnswerDelay), bound);
    return static_cast<std::uint16_t>(std::max(delay, milliseconds{0}).count());
}

int receiveBufferBytes(std::size_t cameras)
{
    const std::size_t counted = std::min(cameras, kMaxTrackedCameras);
    return std::max(kMinReceiveBufferBytes, static_cast<int>(counted) * kReceiveBytesPerCamera);
}

} // namespace galvorn::searchlib
