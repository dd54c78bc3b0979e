#include "facelib/operations.h"

#include "facelib/callbackinfo.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"

namespace galvorn {

void ReportProgress(std::string_view deviceKey, RunContext& owner, std::string_view text,
                    const facefile::Header& header)
{
    PostDeviceStatus(&owner, DeviceStatus::Progress, {}, deviceKey, encodeProgress(header, text));
}

// The transfers and the batch add are not part of this build. Until they are, each
// entry point reports its operation's failure, so that the device's row still gets a
// final text and the run ends; none of them talks to the device.

int ExportFile(tuint32, device::CNetDevice&, std::string_view deviceKey, std::string_view,
               std::string_view, RunContext& owner, ProgressCallback)
{
    PostDeviceStatus(&owner, DeviceStatus::ExportFail, {}, deviceKey);
    return OperationResult::kFailed;
}

int ImportFile(tuint32, device::CNetDevice&, std::string_view deviceKey, std::string_view,
               RunContext& owner, ProgressCallback)
{
    PostDeviceStatus(&owner, DeviceStatus::ImportFail, {}, deviceKey);
    return OperationResult::kFailed;
}

int ExportCSV(tuint32, device::CNetDevice&, std::string_view deviceKey, std::string_view,
              RunContext& owner, ProgressCallback)
{
    PostDeviceStatus(&owner, DeviceStatus::ExportFail, {}, deviceKey);
    return OperationResult::kFailed;
}

int ImportImage(tuint32, device::CNetDevice&, std::string_view deviceKey, RunContext& owner)
{
    PostDeviceStatus(&owner, DeviceStatus::ImportFail, {}, deviceKey);
    return OperationResult::kFailed;
}

} // namespace galvorn
