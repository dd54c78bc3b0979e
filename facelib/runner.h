#pragma once

#include "facelib/devicejob.h"
#include "facelib/runstate.h"

#include <string_view>

namespace galvorn {

// StartWorkers() results.
struct StartResult
{
    static constexpr int kStarted = 0;
    static constexpr int kNoJobs = 1;
    // More than kMaxDevicesPerRun jobs.
    static constexpr int kTooManyJobs = 2;
};

// GUI thread: starts the workers of a new run (RunState::beginRun()) over the state's
// operation and jobs. Data-file export gets one thread that serves the jobs in order and
// stops early when the run's stop flag is set before a job; batch add the same with as
// many threads as the run serves devices at once (BatchAddSource::devicesAtOnce), each
// taking the next job in order; import and CSV export get one thread per job. Before
// them, one thread per group of subnets prepares the jobs' second addresses
// (AddressPreparation). The threads are detached; RunState::waitForWorkers() waits for
// them. A job whose thread cannot be started ends with status 6. Nothing is started for
// no jobs or too many.
int StartWorkers(RunState& state);

// One job: status 5 without a connection when its data port or HTTP port is 0;
// otherwise status 15, the wait for the preparation of its second address (status 6 when
// the run is cancelled meanwhile), then RunDeviceSession().
void RunDeviceJob(RunContext& run, const DeviceJob& job);

// Connects to the job's device, reads its greeting and creates the session within the
// run's limits, with RecvCallback and the run as its context, logs in, clears the offline
// flag and runs the run's operation, then closes everything. Posts 6 when the connection,
// the greeting or the session fails, and 7, 8 or 9 (with the code) when the login is
// refused; the operation posts its own statuses. `ip` is the job's address as dotted text.
void RunDeviceSession(RunContext& run, const DeviceJob& job, std::string_view ip);

} // namespace galvorn
