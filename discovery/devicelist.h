#pragma once

#include "discovery/onlinedeviceinfo.h"
#include "facelib/runstart.h"

#include <QString>
#include <string>
#include <vector>

// The device list as a table: the same columns and texts wherever it is shown or saved,
// in the window's device tree and by the command-line program.
namespace galvorn {

// The columns that describe a device: the device tree's columns 1 to 14, whose titles are
// kDeviceColumns (config/localsettings.h). The tree's last two columns belong to runs.
inline constexpr int kFirstDeviceListColumn = 1;
inline constexpr int kLastDeviceListColumn = 14;

// The unit texts of the up-time column.
struct UpTimeUnits
{
    QString day;
    QString hour;
    QString minute;
};

// The text of a device column (kFirstDeviceListColumn to kLastDeviceListColumn) for the
// device; empty for any other column.
QString DeviceListCell(const OnlineDeviceInfo& device, int column, const UpTimeUnits& units);

// A table as CSV (RFC 4180): one line per row, cells that need it quoted with their
// quotes doubled, every line ending in CR LF. The first row holds the titles.
std::string DeviceListCsv(const std::vector<std::vector<std::string>>& rows);

// A listed device as a run takes it.
RunDevice RunDeviceOf(const OnlineDeviceInfo& device);

} // namespace galvorn
