#pragma once

#include "tools/devsim/cameraprofile.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::devsim {

// Most cameras one simulator process plays.
inline constexpr std::size_t kMaxCameras = 1024;

// The cameras of one simulator run, read from its configuration file (docs/devsim.md).
struct DevsimConfig
{
    std::vector<CameraProfile> cameras;
};

// Parses the configuration text. On failure returns false and sets `error` to
// "line N: reason" (or a reason without a line for whole-file faults).
bool parseDevsimConfig(std::string_view text, DevsimConfig& config, std::string& error);

} // namespace galvorn::devsim
