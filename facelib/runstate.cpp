#include "facelib/runstate.h"

namespace galvorn {

namespace {

std::vector<DeviceJob> ownedBy(std::vector<DeviceJob> jobs, StatusSink* owner)
{
    for (DeviceJob& job : jobs)
        job.owner = owner;
    return jobs;
}

} // namespace

// --- RunContext -----------------------------------------------------------------------

RunContext::RunContext(RunState& state, OperationType operation, std::vector<DeviceJob> jobs,
                       tuint64 generation)
    : state_(state), operation_(operation), limits_(state.limits_), importFile_(state.importFile_),
      batchAdd_(state.batchAdd_), pictureCache_(batchAdd_.pictureLimits.cacheBytes),
      jobs_(ownedBy(std::move(jobs), this)), generation_(generation),
      active_(static_cast<int>(jobs_.size())),
      addresses_(state.addressDevices_, state.prepareAddress_)
{}

void RunContext::postStatus(std::unique_ptr<CallbackInfo> info)
{
    state_.forward(generation_, std::move(info));
}

void RunContext::requestStop()
{
    stop_.store(true);
    addresses_.cancel();
    state_.transfers().wakeAll();
}

bool RunContext::finishJob()
{
    if (active_.fetch_sub(1) != 1)
        return false;
    stop_.store(false);
    return true;
}

void RunContext::finishAll()
{
    // The run outlives its workers until the next Start; its pictures need not.
    pictureCache_.clear();
    active_.store(0);
    stop_.store(false);
}

std::mutex& RunContext::callbackLock()
{
    return state_.callbackLock();
}

bool RunContext::offline() const
{
    return state_.offline();
}

void RunContext::setOffline(bool offline)
{
    state_.setOffline(offline);
}

TransferTables& RunContext::tables()
{
    return state_.tables();
}

TransferRegistry& RunContext::transfers()
{
    return state_.transfers();
}

SessionRegistry<BatchAddDevice>& RunContext::batchAdds()
{
    return state_.batchAdds();
}

ConnectionRegistry& RunContext::connections()
{
    return state_.connections();
}

// --- RunState -------------------------------------------------------------------------

RunState::RunState(StatusSink* sink) : sink_(sink) {}

RunState::~RunState()
{
    shutdown();
}

void RunState::cancel()
{
    running_.store(false);
    if (current_)
        current_->requestStop();
}

void RunState::endRun()
{
    running_.store(false);
    tables_.clear();
}

bool RunState::stopRequested() const
{
    return current_ && current_->stopRequested();
}

int RunState::activeWorkers() const
{
    return current_ ? current_->activeWorkers() : 0;
}

std::shared_ptr<RunContext> RunState::beginRun()
{
    if (current_)
        current_->requestStop();
    tuint64 generation = 0;
    {
        const std::lock_guard guard(postLock_);
        generation = ++generation_;
    }
    current_ = std::make_shared<RunContext>(*this, operation_, jobs_, generation);
    return current_;
}

void RunState::setOffline(bool offline)
{
    const std::lock_guard guard(callbackLock_);
    offline_.store(offline);
}

void RunState::forward(tuint64 generation, std::unique_ptr<CallbackInfo> info)
{
    const std::lock_guard guard(postLock_);
    if (sink_ && generation == generation_)
        sink_->postStatus(std::move(info));
}

void RunState::workerStarted()
{
    const std::lock_guard guard(workersLock_);
    ++liveWorkers_;
}

void RunState::workerEnded()
{
    // Notified under the lock: once a waiter sees 0 it may destroy the run state, so the
    // ending thread must be done with it before the waiter can run.
    const std::lock_guard guard(workersLock_);
    if (--liveWorkers_ == 0)
        workersChanged_.notify_all();
}

void RunState::waitForWorkers()
{
    std::unique_lock guard(workersLock_);
    workersChanged_.wait(guard, [this] { return liveWorkers_ == 0; });
}

bool RunState::waitForWorkersFor(std::chrono::milliseconds limit)
{
    std::unique_lock guard(workersLock_);
    return workersChanged_.wait_for(guard, limit, [this] { return liveWorkers_ == 0; });
}

void RunState::shutdown(std::chrono::milliseconds grace)
{
    if (current_)
        current_->requestStop();
    {
        const std::lock_guard guard(postLock_);
        sink_ = nullptr;
    }
    // A worker may wait for a device's reply for as long as its transfer's limit; a quit
    // does not wait that long.
    if (!waitForWorkersFor(grace))
        connections_.breakAll();
    waitForWorkers();
}

} // namespace galvorn
