#pragma once

#include "common/facefeatureimportandexport.h"
#include "support/inttypes.h"

#include <string_view>

namespace galvorn::device {
class CNetDevice;
}

namespace galvorn {

class RunContext;

// The four face-library operations that a worker runs on a logged-in device session.
// Each runs on the worker thread, posts exactly one final status for the device
// (through the owner, the job's run) and its progress, watches the run's stop flag, and
// returns an OperationResult code; the runner ignores the result.

struct OperationResult
{
    static constexpr int kOk = 0;
    static constexpr int kFailed = 15;
};

// Reports a transfer's progress for the device: status 13 with the data file's header as
// it stands (meaningful for data-file exports only) and the progress text.
using ProgressCallback = void (*)(std::string_view deviceKey, RunContext& owner,
                                  std::string_view text, const facefile::Header& header);

// The progress callback the runner hands to the operations.
void ReportProgress(std::string_view deviceKey, RunContext& owner, std::string_view text,
                    const facefile::Header& header);

// The device's face library into a new data file in `exportFolder`. Failure status 12,
// or 11 when the device reported an error.
int ExportFile(tuint32 index, device::CNetDevice& session, std::string_view deviceKey,
               std::string_view libraryPassword, std::string_view exportFolder, RunContext& owner,
               ProgressCallback progress);

// The run's data file into the device. Failure status 14, or 11 when the device reported
// an error.
int ImportFile(tuint32 index, device::CNetDevice& session, std::string_view deviceKey,
               std::string_view libraryPassword, RunContext& owner, ProgressCallback progress);

// The device's face library as a CSV table with one picture per person in
// `exportFolder`. Failure status 12.
int ExportCSV(tuint32 index, device::CNetDevice& session, std::string_view deviceKey,
              std::string_view exportFolder, RunContext& owner, ProgressCallback progress);

// The run's persons into the device. Status 14 with the summary when persons were
// refused.
int ImportImage(tuint32 index, device::CNetDevice& session, std::string_view deviceKey,
                RunContext& owner);

} // namespace galvorn
