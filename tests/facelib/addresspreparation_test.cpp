// The address preparation of a run with a stand-in for the helper: which devices share a
// preparation, that subnets are prepared in parallel off the starting thread, that each
// job waits for its own subnet only, and that Cancel ends the preparations and the waits.
// The jobs have no address to connect to, so nothing here touches a network.
#include "facelib/addresspreparation.h"
#include "facelib/jobbuilder.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/textfield.h"
#include "recordingsink.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using namespace galvorn;
using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 10s;

// Records every preparation; a preparation can be held until the test lets it go.
class FakePreparer
{
public:
    PrepareAddress function()
    {
        return [this](const platform::DeviceAddressInfo& device,
                      const platform::CancelSignal& cancel) {
            std::unique_lock guard(lock_);
            prepared_.push_back(device.ipAddr2);
            ++running_;
            mostAtOnce_ = std::max(mostAtOnce_, running_);
            changed_.notify_all();
            if (held_.count(device.ipAddr2)) {
                guard.unlock();
                // The cancel signal's descriptor is what the real helper and wait watch.
                pollfd fd{cancel.fd(), POLLIN, 0};
                while (!cancel.fired() && !released(device.ipAddr2))
                    ::poll(&fd, 1, 10);
                guard.lock();
                sawCancel_ = sawCancel_ || cancel.fired();
            }
            --running_;
            changed_.notify_all();
        };
    }

    void hold(const std::string& address) { held_.insert(address); }
    void release(const std::string& address)
    {
        const std::lock_guard guard(lock_);
        released_.insert(address);
    }
    bool waitForRunning(int count)
    {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kLimit, [&] { return running_ >= count; });
    }
    std::vector<std::string> prepared() const
    {
        const std::lock_guard guard(lock_);
        return prepared_;
    }
    int mostAtOnce() const
    {
        const std::lock_guard guard(lock_);
        return mostAtOnce_;
    }
    bool sawCancel() const
    {
        const std::lock_guard guard(lock_);
        return sawCancel_;
    }

private:
    bool released(const std::string& address)
    {
        const std::lock_guard guard(lock_);
        return released_.count(address) != 0;
    }

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::set<std::string> held_;
    std::set<std::string> released_;
    std::vector<std::string> prepared_;
    int running_ = 0;
    int mostAtOnce_ = 0;
    bool sawCancel_ = false;
};

std::string keyOf(std::size_t i)
{
    return "mac-" + std::to_string(i);
}

// Jobs with ports but no address: each posts "connecting", waits for its preparation and
// then fails to connect without a network.
std::vector<DeviceJob> addresslessJobs(std::size_t count)
{
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < count; ++i) {
        DeviceRow row;
        row.mac = keyOf(i);
        row.softwareVer = "5.1.0";
        row.dataPort = 9008;
        row.httpPort = 80;
        jobs.push_back(BuildDeviceJob(row, {}, static_cast<tuint32>(i), 0));
    }
    return jobs;
}

std::vector<platform::DeviceAddressInfo> devicesAt(const std::vector<std::string>& addresses)
{
    std::vector<platform::DeviceAddressInfo> devices;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const bool half = addresses[i].rfind("198.51.100.1", 0) == 0 && addresses[i].size() == 14;
        devices.push_back({addresses[i], half ? "255.255.255.128" : "255.255.255.0", keyOf(i)});
    }
    return devices;
}

constexpr auto kConnecting = static_cast<tuint32>(DeviceStatus::Connecting);
constexpr auto kConnectFail = static_cast<tuint32>(DeviceStatus::ConnectFail);

class RunPreparationTest : public ::testing::Test
{
protected:
    void start(OperationType operation, const std::vector<std::string>& addresses)
    {
        state.setOperation(operation);
        state.setJobs(addresslessJobs(addresses.size()));
        state.setAddressPreparation(devicesAt(addresses), preparer.function());
        ASSERT_EQ(StartWorkers(state), StartResult::kStarted);
    }

    // Blocks until the job's last status is `status`.
    bool reached(std::size_t job, tuint32 status)
    {
        return sink.waitFor(
            [&](const RecordingSink::Records& records) {
                tuint32 last = 0;
                for (const CallbackInfo& info : records) {
                    if (fieldText(info.mac) == keyOf(job))
                        last = info.status;
                }
                return last == status;
            },
            kLimit);
    }
    bool ended(std::size_t job) { return reached(job, kConnectFail); }

    RecordingSink sink;
    FakePreparer preparer;
    RunState state{&sink};
};

TEST(AddressPreparation, DevicesOfOneSubnetShareOnePreparation)
{
    // .10 and .20 share 198.51.100.0/24; .140/25 overlaps it; 203.0.113.5 stands alone; the
    // fourth device has no second address.
    FakePreparer preparer;
    AddressPreparation preparation(
        devicesAt({"198.51.100.10", "203.0.113.5", "198.51.100.20", "", "198.51.100.140"}),
        preparer.function());
    ASSERT_EQ(preparation.groupCount(), 2u);
    for (std::size_t group = 0; group < preparation.groupCount(); ++group)
        preparation.prepareGroup(group);
    std::vector<std::string> prepared = preparer.prepared();
    std::sort(prepared.begin(), prepared.end());
    EXPECT_EQ(prepared,
              (std::vector<std::string>{"198.51.100.10", "198.51.100.140", "203.0.113.5"}));
    for (std::size_t job = 0; job < 5; ++job)
        EXPECT_TRUE(preparation.waitFor(job)) << job;
}

TEST_F(RunPreparationTest, SubnetsArePreparedInParallelOffTheStartingThread)
{
    preparer.hold("198.51.100.10");
    preparer.hold("203.0.113.5");
    // A sequential run: its one worker still waits while both subnets are prepared.
    start(OperationType::ExportData, {"198.51.100.10", "203.0.113.5"});
    ASSERT_TRUE(preparer.waitForRunning(2)) << "both preparations run at once";
    ASSERT_TRUE(reached(0, kConnecting));
    preparer.release("198.51.100.10");
    preparer.release("203.0.113.5");
    EXPECT_TRUE(ended(0));
    EXPECT_TRUE(ended(1));
    EXPECT_TRUE(state.waitForWorkersFor(kLimit));
}

TEST_F(RunPreparationTest, EachJobWaitsForItsOwnSubnetOnly)
{
    preparer.hold("198.51.100.10");
    start(OperationType::ImportData, {"198.51.100.10", "203.0.113.5", "198.51.100.20"});
    ASSERT_TRUE(ended(1)) << "the other subnet's device goes on";
    ASSERT_TRUE(reached(0, kConnecting));
    ASSERT_TRUE(reached(2, kConnecting));
    EXPECT_EQ(sink.statusesOf(keyOf(0)), std::vector<tuint32>{kConnecting});
    EXPECT_EQ(sink.statusesOf(keyOf(2)), std::vector<tuint32>{kConnecting})
        << "the device of the same subnet waits for the shared preparation";
    preparer.release("198.51.100.10");
    EXPECT_TRUE(ended(0));
    EXPECT_TRUE(ended(2));
    EXPECT_TRUE(state.waitForWorkersFor(kLimit));
    EXPECT_EQ(preparer.prepared().size(), 2u);
}

TEST_F(RunPreparationTest, OverlappingSubnetsArePreparedOneAfterTheOther)
{
    start(OperationType::ImportData, {"198.51.100.10", "198.51.100.140", "198.51.100.200"});
    EXPECT_TRUE(ended(0));
    EXPECT_TRUE(ended(1));
    EXPECT_TRUE(ended(2));
    EXPECT_TRUE(state.waitForWorkersFor(kLimit));
    EXPECT_EQ(preparer.prepared(), (std::vector<std::string>{"198.51.100.10", "198.51.100.140"}));
    EXPECT_EQ(preparer.mostAtOnce(), 1);
}

TEST_F(RunPreparationTest, CancelEndsThePreparationsAndTheWaits)
{
    preparer.hold("198.51.100.10");
    start(OperationType::ImportData, {"198.51.100.10", "198.51.100.20"});
    ASSERT_TRUE(preparer.waitForRunning(1));
    ASSERT_TRUE(reached(0, kConnecting));
    ASSERT_TRUE(reached(1, kConnecting));
    state.cancel();
    EXPECT_TRUE(ended(0));
    EXPECT_TRUE(ended(1));
    EXPECT_TRUE(state.waitForWorkersFor(kLimit)) << "the preparation thread ended too";
    EXPECT_TRUE(preparer.sawCancel());
}

} // namespace
