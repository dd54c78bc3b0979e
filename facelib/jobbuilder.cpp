#include "facelib/jobbuilder.h"

#include "facelib/textfield.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace galvorn {

namespace {

// Devices whose software version contains this are reached at their first address.
constexpr std::string_view kFirstAddressVersion = "3.3";

// Network byte order; 0 for anything that is not dotted IPv4 text.
tuint32 parseAddress(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 ? address.s_addr : 0;
}

// A negative port is no port: the job then ends with a port error, unconnected.
tuint32 portValue(int port)
{
    return port > 0 ? static_cast<tuint32>(port) : 0;
}

} // namespace

tuint32 ConnectAddress(const DeviceRow& row, tuint32 preparedAddress)
{
    if (row.softwareVer.find(kFirstAddressVersion) != std::string::npos)
        return parseAddress(row.ipAddr);
    return preparedAddress;
}

DeviceJob BuildDeviceJob(const DeviceRow& row, const RunInputs& inputs, tuint32 index,
                         tuint32 preparedAddress)
{
    DeviceJob job;
    job.index = index;
    job.ipAddress = ConnectAddress(row, preparedAddress);
    job.address2 = parseAddress(row.ipAddr2);
    job.dataPort = portValue(row.dataPort);
    setFieldText(job.macAddress, row.mac);
    job.httpPort = portValue(row.httpPort);
    setFieldText(job.softwareVersion, row.softwareVer);
    setFieldText(job.userName, inputs.userName);
    setFieldText(job.password, inputs.password);
    job.path = inputs.path;
    setFieldText(job.libraryPassword, inputs.libraryPassword);
    return job;
}

} // namespace galvorn
