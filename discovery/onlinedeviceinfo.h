#pragma once

#include <QString>

// One device as the window keeps it: a copy of its search record, decoded from UTF-8.
// A device row owns its record (item data of column 0 under Qt::UserRole, a void*).
struct OnlineDeviceInfo
{
    QString devName;
    QString ipAddr;
    QString maskAddr;
    QString ipAddr2;
    QString maskAddr2;
    QString route;
    QString dns1;
    QString dns2;
    QString mac; // the row's key
    QString productSeries;
    QString softwareVer;
    QString softwareBuildDate;
    QString hardwareVer;
    QString kernelVer;
    QString productModel; // " " when the device reports none
    QString runningTime;  // seconds, decimal text
    QString bootTime;
    int dataPort = 0;
    int httpPort = 0;
    bool dhcpSwitch = false;
};
