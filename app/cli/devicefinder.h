#pragma once

#include "app/cli/cliarguments.h"
#include "app/cli/eventchannel.h"
#include "discovery/observable.h"
#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace galvorn::cli {

using DeviceList = std::vector<OnlineDeviceInfo>;

// Searches the network as the window does and keeps the devices the window would list.
// The search's thread only tells the channel that something changed; the devices are read
// on the thread that searches.
class DeviceFinder final : public CObserver<SEARCH_INFO>
{
public:
    explicit DeviceFinder(EventChannel& channel) : channel_(channel) {}

    // Searches for `wait`, or until `enough` (when given) holds for the devices found so
    // far, or until the channel is interrupted. The devices in the order of their first
    // addresses.
    DeviceList search(std::chrono::milliseconds wait,
                      const std::function<bool(const DeviceList&)>& enough);

    void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>* source) override;

private:
    EventChannel& channel_;
};

// The devices a command names, out of those found.
struct DeviceSelection
{
    // In the order of the found devices, each once.
    DeviceList chosen;
    // The --device values that name no device found, in the order given.
    std::vector<std::string> missing;
};

DeviceSelection SelectDevices(const DeviceList& found, const DeviceChoice& choice);

// Every --device names a device found; only meaningful when only --device chooses.
bool AllNamedDevicesFound(const DeviceList& found, const DeviceChoice& choice);

} // namespace galvorn::cli
