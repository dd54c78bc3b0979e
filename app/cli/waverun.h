#pragma once

#include "app/cli/devicefinder.h"
#include "app/cli/eventchannel.h"
#include "app/cli/runreporter.h"
#include "facelib/personinfo.h"
#include "facelib/runstart.h"

#include <memory>
#include <vector>

namespace galvorn::cli {

// Runs the request on the devices through the run API, in waves of at most
// kMaxDevicesPerRun devices, one wave after another: a wave ends when each of its devices
// has its final status. Returns each device's outcome, in the order of `devices`.
//
// Once the channel is interrupted no wave starts; a wave that runs is cancelled, and its
// workers finish and post their final statuses before this returns. Devices that never
// ran end as failed.
std::vector<DeviceOutcome> RunInWaves(const RunRequest& request,
                                      std::shared_ptr<const std::vector<PersonInfo>> persons,
                                      const DeviceList& devices, EventChannel& channel,
                                      RunReporter& reporter);

} // namespace galvorn::cli
