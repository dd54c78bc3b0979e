#pragma once

#include <array>

// The columns of the device tree, by logical index. Their titles, default widths and
// default visibility are galvorn::kDeviceColumns (config/localsettings.h).
namespace DeviceColumn {
enum : int
{
    Tick = 0,
    Name = 1,
    Series = 2,
    ProductModel = 3,
    IpAddress = 4,
    HttpPort = 5,
    DataPort = 6,
    SubnetMask = 7,
    Gateway = 8,
    SoftwareVersion = 9,
    SoftwareDate = 10,
    Mac = 11,
    KernelVersion = 12,
    BootTime = 13,
    RunTime = 14,
    Status = 15,
    Explain = 16,
};
} // namespace DeviceColumn

// The only columns a header click sorts by.
inline constexpr std::array<int, 6> kSortableDeviceColumns{
    DeviceColumn::Series,          DeviceColumn::ProductModel, DeviceColumn::IpAddress,
    DeviceColumn::SoftwareVersion, DeviceColumn::SoftwareDate, DeviceColumn::KernelVersion};
