#include "app/cli/commands.h"
#include "app/cli/devicefinder.h"
#include "app/cli/jsonlines.h"
#include "app/cli/texttable.h"
#include "config/languagetable.h"
#include "config/localsettings.h"
#include "discovery/devicelist.h"

#include <iostream>

namespace galvorn::cli {

namespace {

// The device columns the window shows, by its settings; every one when none is shown.
std::vector<int> shownColumns()
{
    const LocalSettings settings = readLocalSettings(settingsFilePath(), "en_US");
    std::vector<int> columns;
    for (int column = kFirstDeviceListColumn; column <= kLastDeviceListColumn; ++column)
        if (settings.columnShown[column] != 0)
            columns.push_back(column);
    if (columns.empty())
        for (int column = kFirstDeviceListColumn; column <= kLastDeviceListColumn; ++column)
            columns.push_back(column);
    return columns;
}

std::vector<std::vector<std::string>> tableOf(const DeviceList& devices)
{
    const std::vector<int> columns = shownColumns();
    const UpTimeUnits units{QString::fromStdString(languageText("IDCS_DAY")),
                            QString::fromStdString(languageText("IDCS_HOUR")),
                            QString::fromStdString(languageText("IDCS_MINUTE"))};
    std::vector<std::vector<std::string>> rows(1);
    for (const int column : columns)
        rows.front().push_back(languageText(kDeviceColumns[column].titleKey));
    for (const OnlineDeviceInfo& device : devices) {
        std::vector<std::string>& row = rows.emplace_back();
        for (const int column : columns)
            row.push_back(DeviceListCell(device, column, units).toStdString());
    }
    return rows;
}

nlohmann::ordered_json deviceEvent(const OnlineDeviceInfo& device)
{
    const auto text = [](const QString& value) { return value.toStdString(); };
    return {{"event", "device"},
            {"mac", text(device.mac)},
            {"ip", text(device.ipAddr)},
            {"name", text(device.devName)},
            {"series", text(device.productSeries)},
            {"model", text(device.productModel)},
            {"mask", text(device.maskAddr)},
            {"ip2", text(device.ipAddr2)},
            {"mask2", text(device.maskAddr2)},
            {"gateway", text(device.route)},
            {"dns1", text(device.dns1)},
            {"dns2", text(device.dns2)},
            {"httpPort", device.httpPort},
            {"dataPort", device.dataPort},
            {"softwareVersion", text(device.softwareVer)},
            {"softwareBuildDate", text(device.softwareBuildDate)},
            {"hardwareVersion", text(device.hardwareVer)},
            {"kernelVersion", text(device.kernelVer)},
            {"bootTime", text(device.bootTime)},
            {"runningSeconds", device.runningTime.toULongLong()},
            {"dhcp", device.dhcpSwitch}};
}

} // namespace

int ListCommand(const CliArguments& arguments, EventChannel& channel)
{
    const int seconds = arguments.waitSeconds.value_or(kDefaultSearchSeconds);
    const DeviceList devices = DeviceFinder(channel).search(std::chrono::seconds(seconds), {});
    if (channel.interrupted()) {
        complain("interrupted during the search");
        return kExitFailed;
    }
    if (arguments.json) {
        for (const OnlineDeviceInfo& device : devices)
            writeJsonLine(std::cout, deviceEvent(device));
        return kExitSucceeded;
    }
    const auto rows = tableOf(devices);
    std::cout << (arguments.csv ? DeviceListCsv(rows) : alignedTable(rows)) << std::flush;
    return kExitSucceeded;
}

} // namespace galvorn::cli
