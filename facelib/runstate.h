#pragma once

#include "facelib/addresspreparation.h"
#include "facelib/batchadd.h"
#include "facelib/callbackinfo.h"
#include "facelib/connectionregistry.h"
#include "facelib/devicejob.h"
#include "facelib/facetransfer.h"
#include "facelib/runlimits.h"
#include "facelib/transfertables.h"
#include "support/inttypes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace galvorn {

// At most this many devices take part in one run.
inline constexpr std::size_t kMaxDevicesPerRun = 32;
// How long a quit lets the workers end on their own before it breaks their connections.
// Connections are broken at once after it, and a connect in progress gives up within its
// one-second slice, so the window can close within four seconds whatever a device does.
inline constexpr std::chrono::milliseconds kQuitGrace{2000};

class RunState;

// One run as its workers, its operations and its device sessions' callbacks see it: the
// operation and the jobs fixed when the run started, the run's stop flag and active-worker
// count, and, through the run state, the callback lock, the offline flag and the per-run
// tables. It is also the run's status sink and the owner of its jobs.
//
// Shared by the run's worker threads and the run state; it outlives every session of the
// run, so it is the context handed to the sessions' owner callback (RecvCallback).
class RunContext final : public StatusSink
{
public:
    RunContext(RunState& state, OperationType operation, std::vector<DeviceJob> jobs,
               tuint64 generation);

    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    // Hands the record to the window's sink while this run is the latest one started;
    // statuses of a run that a later Start replaced are dropped, so they can neither
    // write into the new run's rows nor end it.
    void postStatus(std::unique_ptr<CallbackInfo> info) override;

    OperationType operation() const { return operation_; }
    // Fixed for the life of the run; every job's owner is this run.
    const std::vector<DeviceJob>& jobs() const { return jobs_; }

    // Polled by the workers and the running operation between their steps.
    bool stopRequested() const { return stop_.load(); }
    // Sets the stop flag and wakes the run's transfers that wait for their devices.
    void requestStop();

    // Jobs of the run whose worker has not ended yet: the number of jobs at the start.
    int activeWorkers() const { return active_.load(); }
    // Parallel runs: one job's worker has ended. The call that brings the count to 0
    // clears the stop flag; exactly one call does. True for that call.
    bool finishJob();
    // Sequential runs: the one worker has ended, whether or not it served every job. The
    // count becomes 0 and the stop flag is cleared.
    void finishAll();

    // The main window's callback lock: it guards the offline flag and the reply-side
    // state of the operations against the sessions' callbacks.
    std::mutex& callbackLock();
    bool offline() const;
    // Takes the callback lock.
    void setOffline(bool offline);
    TransferTables& tables();
    // The active transfer of each device session.
    TransferRegistry& transfers();
    // Fixed when the run started.
    const RunLimits& limits() const { return limits_; }
    // The data file an import run sends, fixed when the run started; null when none. The
    // run's own reader, open as long as the run exists.
    const facefile::Reader* importFile() const { return importFile_.get(); }
    // What a batch-add run adds, fixed when the run started.
    const BatchAddSource& batchAdd() const { return batchAdd_; }
    // The pictures this run has prepared, for its later devices.
    PictureCache& pictureCache() { return pictureCache_; }
    // The batch add of each device session.
    SessionRegistry<BatchAddDevice>& batchAdds();
    // The connections the run's workers hold, for a quit to break.
    ConnectionRegistry& connections();
    // The preparation of the jobs' second addresses, cancelled with the run.
    AddressPreparation& addresses() { return addresses_; }

private:
    RunState& state_;
    const OperationType operation_;
    const RunLimits limits_;
    const std::shared_ptr<const facefile::Reader> importFile_;
    const BatchAddSource batchAdd_;
    PictureCache pictureCache_;
    const std::vector<DeviceJob> jobs_;
    const tuint64 generation_;
    std::atomic<bool> stop_{false};
    std::atomic<int> active_;
    AddressPreparation addresses_;
};

// The state of the runs of one main window. The window owns it and drives it from the
// GUI thread; the workers reach it only through their RunContext. Nothing here touches a
// widget, so a test or a command-line front end can drive runs the same way.
//
// Threads: the members marked "GUI thread" are called from the one thread that starts
// and ends runs; the others from any thread.
class RunState
{
public:
    // `sink` receives the statuses of the current run; it must not call back into the
    // run state from postStatus().
    explicit RunState(StatusSink* sink);
    // shutdown().
    ~RunState();

    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // GUI thread: the operation and the jobs the next run starts with.
    void setOperation(OperationType operation) { operation_ = operation; }
    OperationType operation() const { return operation_; }
    // Replaces the previous run's jobs. Workers of earlier runs keep their own copies.
    void setJobs(std::vector<DeviceJob> jobs) { jobs_ = std::move(jobs); }
    const std::vector<DeviceJob>& jobs() const { return jobs_; }
    // GUI thread: the data file that the next import run sends (null for none). The state
    // takes a duplicate of the reader and every run keeps the one it started with for as
    // long as the run exists, that is, as long as any of its workers does; the caller
    // may close or reopen its own reader at once.
    void setImportFile(const facefile::Reader* file)
    {
        importFile_ = file ? file->duplicate() : nullptr;
    }
    // GUI thread: the time limits of the next run.
    void setLimits(const RunLimits& limits) { limits_ = limits; }
    // GUI thread: what the next batch-add run adds.
    void setBatchAddSource(BatchAddSource source) { batchAdd_ = std::move(source); }
    // GUI thread: the second address of each job of the next run (`devices[i]` for job i)
    // and how it is prepared before the job connects; see AddressPreparation. Without
    // devices nothing is prepared.
    void setAddressPreparation(std::vector<platform::DeviceAddressInfo> devices,
                               PrepareAddress prepare)
    {
        addressDevices_ = std::move(devices);
        prepareAddress_ = std::move(prepare);
    }

    bool running() const { return running_.load(); }
    void setRunning(bool running) { running_.store(running); }

    // GUI thread. Cancel: the running flag is cleared and the current run's stop flag
    // set; its workers stop at their next poll and still post their final statuses.
    void cancel();
    // GUI thread. The end of a run: the running flag and the per-run tables are cleared.
    void endRun();
    // GUI thread: the current run's stop flag and active-worker count (false and 0
    // before the first run).
    bool stopRequested() const;
    int activeWorkers() const;

    // GUI thread, for the worker start: a new run of the operation and the jobs set above,
    // with the active-worker count at the number of jobs and every job's owner set to the
    // run. From now on statuses of earlier runs are dropped, and an earlier run still
    // working is asked to stop.
    std::shared_ptr<RunContext> beginRun();

    std::mutex& callbackLock() { return callbackLock_; }
    bool offline() const { return offline_.load(); }
    // Takes the callback lock.
    void setOffline(bool offline);
    TransferTables& tables() { return tables_; }
    TransferRegistry& transfers() { return transfers_; }
    SessionRegistry<BatchAddDevice>& batchAdds() { return batchAdds_; }
    ConnectionRegistry& connections() { return connections_; }

    // Worker threads of every run, counted from before a thread is created until its
    // last access to the run state; used by the worker start only.
    void workerStarted();
    void workerEnded();

    // Blocks until every worker of every run has ended.
    void waitForWorkers();
    // The same with a limit; false when workers are still running after it.
    bool waitForWorkersFor(std::chrono::milliseconds limit);

    // GUI thread. Asks the current run to stop, drops every status from now on, gives the
    // workers `grace` to end on their own, then breaks every connection they still hold
    // and waits until every worker has ended. The window calls it before anything the
    // sink uses is destroyed. Idempotent.
    void shutdown(std::chrono::milliseconds grace = kQuitGrace);

private:
    friend class RunContext;
    void forward(tuint64 generation, std::unique_ptr<CallbackInfo> info);

    // GUI thread only.
    OperationType operation_ = OperationType::ExportData;
    std::vector<DeviceJob> jobs_;
    std::shared_ptr<const facefile::Reader> importFile_;
    RunLimits limits_;
    BatchAddSource batchAdd_;
    std::vector<platform::DeviceAddressInfo> addressDevices_;
    PrepareAddress prepareAddress_;
    std::shared_ptr<RunContext> current_;

    std::atomic<bool> running_{false};
    std::atomic<bool> offline_{false};
    std::mutex callbackLock_;
    TransferTables tables_;
    TransferRegistry transfers_;
    SessionRegistry<BatchAddDevice> batchAdds_;
    ConnectionRegistry connections_;

    // Guards sink_ and generation_: a status is forwarded only while its run is current.
    std::mutex postLock_;
    StatusSink* sink_;
    tuint64 generation_ = 0;

    std::mutex workersLock_;
    std::condition_variable workersChanged_;
    int liveWorkers_ = 0;
};

} // namespace galvorn
