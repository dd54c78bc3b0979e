#pragma once

#include "facelib/devicejob.h"
#include "support/inttypes.h"

#include <string>
#include <string_view>

namespace galvorn {

// What a ticked device row gives to its job: the texts and ports of the row's device
// record, as the window holds them.
struct DeviceRow
{
    std::string ipAddr;  // dotted IPv4
    std::string ipAddr2; // dotted IPv4; may be empty
    std::string mac;     // the device key
    std::string softwareVer;
    int dataPort = 0;
    int httpPort = 0;
};

// The window's input fields for a run, as UTF-8.
struct RunInputs
{
    std::string userName;
    std::string password;
    std::string path;
    std::string libraryPassword;
};

// The address a device is connected at (network byte order): its first address when
// its software version contains "3.3", and otherwise `preparedAddress`, the second
// address as the address preparation returned it. 0 when the first address is needed
// and is no dotted IPv4 text.
tuint32 ConnectAddress(const DeviceRow& row, tuint32 preparedAddress);

// The job of the device at position `index` of the run: the connect address as above,
// the row's ports (a negative one counts as 0), key and version, and the inputs. Every
// text is cut to its field at a
// UTF-8 character boundary, leaving the terminating zero. The owner stays unset: the
// worker start makes the run the owner of its jobs.
DeviceJob BuildDeviceJob(const DeviceRow& row, const RunInputs& inputs, tuint32 index,
                         tuint32 preparedAddress);

} // namespace galvorn
