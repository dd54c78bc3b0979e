#include "app/cli/devicefinder.h"

#include "discovery/devicerecord.h"
#include "discovery/devicesearch.h"
#include "discovery/quarlomanage.h"
#include "platform/netif.h"

#include <algorithm>
#include <tuple>

namespace galvorn::cli {

namespace {

DeviceList listedDevices(const CQuarloManage& manager)
{
    DeviceList devices;
    for (const SEARCH_INFO& record : manager.Devices())
        if (const auto device = MakeOnlineDeviceInfo(record))
            devices.push_back(*device);
    return devices;
}

std::uint32_t addressOrder(const QString& text)
{
    std::uint32_t address = 0;
    return platform::parseIpv4(text.toStdString(), address) ? address : 0;
}

bool names(const OnlineDeviceInfo& device, const std::string& named)
{
    const QString text = QString::fromStdString(named);
    return device.mac.compare(text, Qt::CaseInsensitive) == 0 || device.ipAddr == text ||
           device.ipAddr2 == text;
}

bool chosen(const OnlineDeviceInfo& device, const DeviceChoice& choice)
{
    if (choice.all)
        return true;
    const auto named = [&](const std::string& each) { return names(device, each); };
    const auto ofModel = [&](const std::string& model) {
        return device.productModel == QString::fromStdString(model);
    };
    return std::any_of(choice.devices.begin(), choice.devices.end(), named) ||
           std::any_of(choice.models.begin(), choice.models.end(), ofModel);
}

} // namespace

DeviceList DeviceFinder::search(std::chrono::milliseconds wait,
                                const std::function<bool(const DeviceList&)>& enough)
{
    const auto deadline = EventChannel::Clock::now() + wait;
    CQuarloManage manager;
    StartDeviceSearch(manager, this);
    // An interruption is kept by the channel and ends the loop.
    while (!channel_.interrupted() && !(enough && enough(listedDevices(manager)))) {
        if (!channel_.next(deadline))
            break;
        // Answers come in bursts: the list is looked at once for all that came meanwhile.
        while (channel_.poll()) {
        }
    }
    DeviceList devices = listedDevices(manager);
    manager.Detach(this);
    manager.Quit();
    std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
        return std::tuple(addressOrder(a.ipAddr), a.mac) <
               std::tuple(addressOrder(b.ipAddr), b.mac);
    });
    return devices;
}

void DeviceFinder::Update(SEARCH_INFO, CObservable<SEARCH_INFO>*)
{
    channel_.devicesChanged();
}

DeviceSelection SelectDevices(const DeviceList& found, const DeviceChoice& choice)
{
    DeviceSelection selection;
    for (const OnlineDeviceInfo& device : found)
        if (chosen(device, choice))
            selection.chosen.push_back(device);
    for (const std::string& named : choice.devices) {
        const bool any = std::any_of(found.begin(), found.end(),
                                     [&](const OnlineDeviceInfo& d) { return names(d, named); });
        if (!any)
            selection.missing.push_back(named);
    }
    return selection;
}

bool AllNamedDevicesFound(const DeviceList& found, const DeviceChoice& choice)
{
    return SelectDevices(found, choice).missing.empty();
}

} // namespace galvorn::cli
