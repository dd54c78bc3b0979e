#include "device/commandids.h"
#include "facelib/connectionregistry.h"
#include "facelib/jobbuilder.h"
#include "facelib/operations.h"
#include "facelib/recvcallback.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "recordingsink.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace galvorn;

namespace {

// Jobs that never connect: their HTTP port is 0, so each ends with status 5 at once.
std::vector<DeviceJob> unconnectedJobs(std::size_t count)
{
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < count; ++i) {
        DeviceRow device;
        device.ipAddr = "192.0.2.1";
        device.softwareVer = "V3.3.0";
        device.mac = "mac-" + std::to_string(i);
        device.dataPort = 6036;
        jobs.push_back(BuildDeviceJob(device, {}, static_cast<tuint32>(i), 0));
    }
    return jobs;
}

std::string keyOf(std::size_t i)
{
    return "mac-" + std::to_string(i);
}

TEST(RunState, BeginRunTakesACopyOfTheJobsOwnedByTheRun)
{
    RecordingSink sink;
    RunState state(&sink);
    state.setOperation(OperationType::ImportData);
    state.setJobs(unconnectedJobs(3));
    const auto run = state.beginRun();

    state.setJobs(unconnectedJobs(1));
    state.setOperation(OperationType::BatchAdd);
    ASSERT_EQ(run->jobs().size(), 3u);
    EXPECT_EQ(run->operation(), OperationType::ImportData);
    EXPECT_EQ(run->activeWorkers(), 3);
    EXPECT_EQ(state.activeWorkers(), 3);
    for (const DeviceJob& job : run->jobs())
        EXPECT_EQ(job.owner, run.get());
}

TEST(RunState, StatusesOfARunReplacedByALaterOneAreDropped)
{
    RecordingSink sink;
    RunState state(&sink);
    state.setJobs(unconnectedJobs(1));
    const auto first = state.beginRun();
    PostDeviceStatus(first.get(), DeviceStatus::Connecting, "192.0.2.1", "first");
    const auto second = state.beginRun();
    PostDeviceStatus(first.get(), DeviceStatus::ExportFail, "192.0.2.1", "first");
    PostDeviceStatus(second.get(), DeviceStatus::Connecting, "192.0.2.1", "second");

    EXPECT_EQ(sink.statusesOf("first"), std::vector{code(DeviceStatus::Connecting)});
    EXPECT_EQ(sink.statusesOf("second"), std::vector{code(DeviceStatus::Connecting)});
    // The replaced run was asked to stop; the new one was not.
    EXPECT_TRUE(first->stopRequested());
    EXPECT_FALSE(second->stopRequested());
}

TEST(RunState, CancelStopsTheCurrentRunAndEndRunClearsTheTables)
{
    RecordingSink sink;
    RunState state(&sink);
    EXPECT_FALSE(state.stopRequested());
    state.setJobs(unconnectedJobs(2));
    const auto run = state.beginRun();
    state.setRunning(true);
    state.tables().setTransferId("mac-0", 9);

    state.cancel();
    EXPECT_FALSE(state.running());
    EXPECT_TRUE(state.stopRequested());
    EXPECT_TRUE(run->stopRequested());

    state.setRunning(true);
    state.endRun();
    EXPECT_FALSE(state.running());
    EXPECT_FALSE(state.tables().transferId("mac-0").has_value());
}

// However the parallel workers race, exactly one of them brings the count to 0, and the
// stop flag stays set until that one has ended.
// After Cancel the window is idle at once while workers of the run may still be about to
// read the data file; Browse or a change of operation then closes or reopens the window's
// reader. The run reads its own reader, which lives as long as the run does.
TEST(RunState, EachRunKeepsItsOwnImportFile)
{
    TempDir dir;
    facefile::Header header;
    header.librarySize = 5;
    const auto head = facefile::encodeHeader(header);
    dir.write("a.dat", std::string(head.begin(), head.end()) + "first");
    dir.write("b.dat", std::string(head.begin(), head.end()) + "other");

    RecordingSink sink;
    RunState state(&sink);
    std::shared_ptr<RunContext> run;
    {
        facefile::Reader windowFile;
        ASSERT_EQ(windowFile.open(dir.file("a.dat")), facefile::Check::Valid);
        state.setImportFile(&windowFile);
        state.setOperation(OperationType::ImportData);
        run = state.beginRun();
        // Browse to another file, then leave import: the window's reader is gone.
        ASSERT_EQ(windowFile.open(dir.file("b.dat")), facefile::Check::Valid);
        state.setImportFile(nullptr);
    }
    ASSERT_NE(run->importFile(), nullptr);
    ASSERT_TRUE(run->importFile()->isOpen());
    std::array<std::uint8_t, 5> data{};
    ASSERT_TRUE(run->importFile()->readChunk(facefile::kHeaderSize, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "first");
}

TEST(ConnectionRegistry, BreakAllBreaksTheRegisteredAndEveryLaterConnection)
{
    ConnectionRegistry registry;
    std::vector<std::string> broken;
    const auto breaking = [&broken](std::string name) {
        return [&broken, name] { broken.push_back(name); };
    };
    const std::uint64_t gone = registry.add(breaking("gone"));
    const ConnectionGuard held(registry, breaking("held"));
    registry.remove(gone);
    EXPECT_TRUE(broken.empty());
    registry.breakAll();
    EXPECT_EQ(broken, std::vector<std::string>{"held"});
    // A worker that registers after the quit began finds its connection broken at once.
    const ConnectionGuard late(registry, breaking("late"));
    EXPECT_EQ(broken, (std::vector<std::string>{"held", "late"}));
}

TEST(RunContext, ExactlyOneParallelWorkerEndsTheRun)
{
    for (int round = 0; round < 20; ++round) {
        RecordingSink sink;
        RunState state(&sink);
        state.setJobs(unconnectedJobs(kMaxDevicesPerRun));
        const auto run = state.beginRun();
        run->requestStop();
        std::atomic<int> last{0};
        std::atomic<int> stopSeenClearBeforeLast{0};
        std::vector<std::thread> workers;
        for (std::size_t i = 0; i < kMaxDevicesPerRun; ++i)
            workers.emplace_back([&] {
                if (!run->stopRequested())
                    ++stopSeenClearBeforeLast;
                if (run->finishJob())
                    ++last;
            });
        for (std::thread& worker : workers)
            worker.join();
        EXPECT_EQ(last.load(), 1);
        EXPECT_EQ(stopSeenClearBeforeLast.load(), 0);
        EXPECT_EQ(run->activeWorkers(), 0);
        EXPECT_FALSE(run->stopRequested());
    }
}

TEST(RunContext, OfflineFlagIsWrittenUnderTheCallbackLock)
{
    RecordingSink sink;
    RunState state(&sink);
    const auto run = state.beginRun();
    std::unique_lock hold(state.callbackLock());
    auto writer = std::async(std::launch::async, [&] { run->setOffline(true); });
    // The write waits for the lock: the flag cannot change while it is held.
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(state.offline());
    hold.unlock();
    writer.get();
    EXPECT_TRUE(state.offline());
    EXPECT_TRUE(run->offline());
}

TEST(RecvCallback, LinkLossSetsTheOfflineFlag)
{
    RecordingSink sink;
    RunState state(&sink);
    const auto run = state.beginRun();

    // A device event also comes with length -1, but with its record: not a loss.
    const int event = 0;
    EXPECT_EQ(RecvCallback(run.get(), nullptr, device::CALLBACK_DEVICE_EVENT, -1, &event, 0), 0);
    EXPECT_FALSE(state.offline());
    const std::uint8_t reply[8] = {};
    EXPECT_EQ(RecvCallback(run.get(), nullptr, device::CALLBACK_FACE_TRANSFER_START, sizeof reply,
                           reply, 0),
              0);
    EXPECT_FALSE(state.offline());

    EXPECT_EQ(RecvCallback(run.get(), nullptr, device::CALLBACK_LINK_LOST, -1, nullptr, 0), 0);
    EXPECT_TRUE(state.offline());
    state.setOffline(false);
    // No payload with length -1 is a loss whatever the type says.
    EXPECT_EQ(RecvCallback(run.get(), nullptr, device::CALLBACK_FACE_EXPORT_DATA, -1, nullptr, 0),
              0);
    EXPECT_TRUE(state.offline());
    EXPECT_TRUE(sink.records().empty());
}

TEST(ReportProgress, PostsProgressWithTheHeaderAndText)
{
    RecordingSink sink;
    RunState state(&sink);
    const auto run = state.beginRun();
    facefile::Header header;
    header.personCount = 12;
    header.librarySize = 4096;
    ReportProgress("00:11:22:33:44:55", *run, "37.50%", header);

    const auto records = sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, code(DeviceStatus::Progress));
    EXPECT_EQ(fieldText(records[0].mac), "00:11:22:33:44:55");
    const auto report = decodeProgress(records[0].data);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->text, "37.50%");
    EXPECT_EQ(report->header, header);
}

TEST(StartWorkers, RefusesNoJobsAndMoreThanTheLimit)
{
    RecordingSink sink;
    RunState state(&sink);
    EXPECT_EQ(StartWorkers(state), StartResult::kNoJobs);
    state.setJobs(unconnectedJobs(kMaxDevicesPerRun + 1));
    EXPECT_EQ(StartWorkers(state), StartResult::kTooManyJobs);
    EXPECT_EQ(state.activeWorkers(), 0);
    state.waitForWorkers();
    EXPECT_TRUE(sink.records().empty());
}

class PortErrorRun : public ::testing::TestWithParam<OperationType>
{};

// Every job of a full run without ports ends with status 5, and the run ends.
TEST_P(PortErrorRun, EveryJobEndsWithAPortError)
{
    RecordingSink sink;
    RunState state(&sink);
    state.setOperation(GetParam());
    state.setJobs(unconnectedJobs(kMaxDevicesPerRun));
    ASSERT_EQ(StartWorkers(state), StartResult::kStarted);
    ASSERT_TRUE(state.waitForWorkersFor(std::chrono::seconds(30)));
    EXPECT_EQ(state.activeWorkers(), 0);
    EXPECT_FALSE(state.stopRequested());
    for (std::size_t i = 0; i < kMaxDevicesPerRun; ++i)
        EXPECT_EQ(sink.statusesOf(keyOf(i)), std::vector{code(DeviceStatus::PortError)}) << i;
}

INSTANTIATE_TEST_SUITE_P(AllOperations, PortErrorRun,
                         ::testing::Values(OperationType::ExportData, OperationType::ImportData,
                                           OperationType::BatchAdd, OperationType::ExportCsv));

TEST(StartWorkers, SequentialRunServesTheJobsInOrder)
{
    RecordingSink sink;
    RunState state(&sink);
    state.setOperation(OperationType::BatchAdd);
    state.setJobs(unconnectedJobs(5));
    ASSERT_EQ(StartWorkers(state), StartResult::kStarted);
    ASSERT_TRUE(state.waitForWorkersFor(std::chrono::seconds(30)));
    const auto records = sink.records();
    ASSERT_EQ(records.size(), 5u);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(fieldText(records[i].mac), keyOf(i));
}

TEST(RunState, ShutdownDropsLaterStatusesAndIsRepeatable)
{
    RecordingSink sink;
    RunState state(&sink);
    const auto run = state.beginRun();
    state.shutdown();
    EXPECT_TRUE(run->stopRequested());
    PostDeviceStatus(run.get(), DeviceStatus::Success, "192.0.2.1", "late");
    state.shutdown();
    EXPECT_TRUE(sink.records().empty());
}

} // namespace
