#pragma once

#include "support/inttypes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace galvorn {

// What a worker reports about one device. Codes 0 to 4 are never sent.
enum class DeviceStatus : tuint32
{
    PortError = 5,    // the job has no data port or no HTTP port; it is not run
    ConnectFail = 6,  // the connection or the greeting failed
    UserPwdError = 7, // log-in refused: wrong user name or password
    MaxConnect = 8,   // log-in refused: the device takes no more connections
    LoginFail = 9,    // log-in refused with another code; data: the code (encodeResultCode)
    Success = 10,     // the operation finished
    DeviceError = 11, // the operation failed with a device error code in the transfer tables
    ExportFail = 12,  // an export failed without a device error code
    Progress = 13,    // data: encodeProgress()
    ImportFail = 14,  // import failed, or batch add refused persons (data: encodeBatchSummary)
    Connecting = 15,  // the job is about to be run
};

// A status record on its way from a worker to the GUI thread. Whoever receives it owns it.
struct CallbackInfo
{
    tuint32 status = 0;             // a DeviceStatus; the receiver ignores other values
    std::array<char, 64> mac{};     // the device key, as in the job
    std::array<char, 16> ip{};      // dotted IPv4 text
    std::vector<std::uint8_t> data; // empty when the status carries none
};

// Where workers send status records: the main window implements it by queueing the record
// to its GUI thread. postStatus() is called from worker and session threads and must only
// hand the record over, never touch widgets. Records of one sender must arrive in the
// order they were posted.
class StatusSink
{
public:
    virtual ~StatusSink() = default;
    virtual void postStatus(std::unique_ptr<CallbackInfo> info) = 0;
};

// A record with copies of the texts (cut to their fields) and of the data.
std::unique_ptr<CallbackInfo> makeCallbackInfo(DeviceStatus status, std::string_view ip,
                                               std::string_view mac,
                                               std::span<const std::uint8_t> data = {});

// Builds the record and hands it to owner. Callable from any thread; a null owner drops it.
void PostDeviceStatus(StatusSink* owner, DeviceStatus status, std::string_view ip,
                      std::string_view mac, std::span<const std::uint8_t> data = {});

} // namespace galvorn
