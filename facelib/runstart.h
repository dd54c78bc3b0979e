#pragma once

#include "common/facefeatureimportandexport.h"
#include "facelib/addresspreparation.h"
#include "facelib/devicejob.h"
#include "facelib/jobbuilder.h"
#include "facelib/personinfo.h"
#include "platform/addressprep.h"
#include "platform/picturecodec.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace galvorn {

class RunState;

// Why a run does not start. Each reason has one message key (refusalKey()); the front
// ends show its text and start nothing.
enum class RunRefusal
{
    None,
    NoExportFolder,  // export without a folder
    NoImportFile,    // import without a data file
    NoPictureFolder, // batch add without a picture folder
    FaultyLine,      // the person table has a faulty row (RunCheck::line)
    NoPicture,       // no person, or none whose picture file exists
    TooManyPersons,  // more than kMaxBatchAddPersons
    NoExportDevice,  // export without a device
    NoImportDevice,  // import or batch add without a device
    TooManyDevices,  // more than kMaxDevicesPerRun
};

// The outcome of a check of a run's start.
struct RunCheck
{
    RunRefusal refusal = RunRefusal::None;
    // The faulty row of the person table for FaultyLine; -1 otherwise.
    int line = -1;

    bool ok() const { return refusal == RunRefusal::None; }
};

// The message key of a refusal; null for None.
const char* refusalKey(RunRefusal refusal);
// The refusal's text from the language table, with the faulty row filled in.
std::string refusalText(const RunCheck& check);

// One device of a run as the search shows it: what its job is built from, and the mask
// of its second address for the address preparation.
struct RunDevice
{
    DeviceRow row;
    std::string maskAddr2;
};

// What a front end asks a run to do, besides the devices it names.
struct RunRequest
{
    OperationType operation = OperationType::ImportData;
    // The credentials and the path (export folder, data file or picture folder), UTF-8.
    RunInputs inputs;
    // Import: the data file, opened and checked by the front end. The run reads a
    // duplicate of its own, so the front end may close or reopen this one once Start is
    // over.
    const facefile::Reader* importFile = nullptr;
    // Batch add: prepares the pictures; outlives the run.
    const platform::PictureCodec* codec = nullptr;
    // Batch add: devices served at once, 1 to kMaxDevicesPerRun.
    std::size_t devicesAtOnce = 1;
    // Makes the devices' second addresses reachable before their jobs connect.
    PrepareAddress prepareAddress;
};

// The first checks of Start, before any device is looked at: the path, then, for a
// batch add, the person table of the picture folder, its pictures and their count. A
// batch add's persons are loaded into `persons`; the other operations leave it empty.
RunCheck CheckRunInputs(const RunRequest& request,
                        std::shared_ptr<const std::vector<PersonInfo>>& persons);

// The jobs of a run: one per device, in the given order, and the second address of each
// for the address preparation (`addresses[i]` belongs to `jobs[i]`).
struct RunJobs
{
    std::vector<DeviceJob> jobs;
    std::vector<platform::DeviceAddressInfo> addresses;
};

// Every job connects at its device's second address as it is (or at its first, for the
// versions that want it); the run adds a local address where one is needed before the
// job connects.
RunJobs BuildRunJobs(const std::vector<RunDevice>& devices, const RunInputs& inputs);

// The last check of Start: at least one device and at most kMaxDevicesPerRun.
RunCheck CheckDeviceCount(OperationType operation, std::size_t devices);

// The rest of Start once the inputs passed: the jobs of `devices`, the count check, then
// a new run of the state with its workers. `persons` are a batch add's persons (see
// CheckRunInputs()). The state's running flag is set when the run starts.
RunCheck StartRunOn(RunState& state, const RunRequest& request,
                    std::shared_ptr<const std::vector<PersonInfo>> persons,
                    const std::vector<RunDevice>& devices);

// Start, in its order: CheckRunInputs(), then `listDevices` names the devices of the run
// (the window empties its status column there), then StartRunOn().
RunCheck StartRun(RunState& state, const RunRequest& request,
                  const std::function<std::vector<RunDevice>()>& listDevices);

} // namespace galvorn
