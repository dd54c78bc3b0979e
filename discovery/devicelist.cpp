#include "discovery/devicelist.h"

#include "common/facelibrarycsv.h"
#include "config/localsettings.h"
#include "discovery/devicerecord.h"

#include <string_view>

namespace galvorn {

namespace {

constexpr char kLineEnd[] = "\r\n";

// The column numbers below are the device tree's; this ties each to its title.
constexpr bool titled(int column, std::string_view key)
{
    return kDeviceColumns[column].titleKey == key;
}
static_assert(titled(1, "IDCS_DEVICE_NAME") && titled(2, "IDCS_DEVICE_TYPE") &&
              titled(3, "IDCS_PRODUCT_MODE") && titled(4, "IDCS_IP_ADDRESS") &&
              titled(5, "IDCS_HTTP_PORT") && titled(6, "IDCS_PORT") &&
              titled(7, "IDCS_SUBNET_MASK") && titled(8, "IDCS_GATEWAY") &&
              titled(9, "IDCS_SOFT_VERSION") && titled(10, "IDCS_SOFT_CREATE_DATE") &&
              titled(11, "IDCS_MAC_ADDRESS") && titled(12, "IDCS_KERNEL_VERSION") &&
              titled(13, "IDCS_START_TIME") && titled(14, "IDCS_RUN_TIME"));

} // namespace

QString DeviceListCell(const OnlineDeviceInfo& device, int column, const UpTimeUnits& units)
{
    switch (column) {
    case 1:
        return device.devName;
    case 2:
        return device.productSeries;
    case 3:
        return device.productModel;
    case 4:
        return device.ipAddr;
    case 5:
        return QString::number(device.httpPort);
    case 6:
        return QString::number(device.dataPort);
    case 7:
        return device.maskAddr;
    case 8:
        return device.route;
    case 9:
        return device.softwareVer;
    case 10:
        return device.softwareBuildDate;
    case 11:
        return device.mac;
    case 12:
        return device.kernelVer;
    case 13:
        return device.bootTime;
    case 14:
        return RunningTimeText(device.runningTime, units.day, units.hour, units.minute);
    default:
        return {};
    }
}

RunDevice RunDeviceOf(const OnlineDeviceInfo& device)
{
    RunDevice run;
    run.row = {device.ipAddr.toStdString(),
               device.ipAddr2.toStdString(),
               device.mac.toStdString(),
               device.softwareVer.toStdString(),
               device.dataPort,
               device.httpPort};
    run.maskAddr2 = device.maskAddr2.toStdString();
    return run;
}

std::string DeviceListCsv(const std::vector<std::vector<std::string>>& rows)
{
    std::string table;
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                table += ',';
            table += common::csvCell(row[i]);
        }
        table += kLineEnd;
    }
    return table;
}

} // namespace galvorn
