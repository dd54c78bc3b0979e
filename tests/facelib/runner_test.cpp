#include "cameras.h"
#include "common/swl_connectproc.h"
#include "common/swl_tcplink.h"
#include "device/loginmessage.h"
#include "device/netdvsdevice.h"
#include "facelib/jobbuilder.h"
#include "facelib/recvcallback.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "facelib/statustable.h"
#include "platform/addressprep.h"
#include "recordingsink.h"
#include "runfolder.h"
#include "tests/common/loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

using namespace galvorn;
using namespace std::chrono_literals;
using devsim::DeviceFaceSettings;
using devsim::GreetingFault;

// The runner against simulated cameras and hand-held connections on loopback. Every test
// runs only inside the private network namespace of the test runner.
namespace {

constexpr char kUser[] = "admin";
constexpr char kPassword[] = "123456";

std::string keyOf(std::size_t i)
{
    char text[18];
    std::snprintf(text, sizeof text, "00:11:22:33:%02X:%02X", static_cast<unsigned>(i >> 8),
                  static_cast<unsigned>(i & 0xFF));
    return text;
}

DeviceRow rowFor(std::size_t i, std::uint16_t port)
{
    DeviceRow row;
    row.ipAddr = "127.0.0.1";
    row.ipAddr2 = "127.0.0.1";
    row.mac = keyOf(i);
    row.softwareVer = "V3.3.0.5";
    row.dataPort = port;
    row.httpPort = 80;
    return row;
}

// The final status of each operation against a camera with an empty face library, no
// data file and no persons chosen: the exports succeed, the import has no file to send
// and the batch add no person to add.
DeviceStatus dispatchStatus(OperationType operation)
{
    switch (operation) {
    case OperationType::ExportData:
    case OperationType::ExportCsv:
        return DeviceStatus::Success;
    case OperationType::ImportData:
    case OperationType::BatchAdd:
        return DeviceStatus::ImportFail;
    }
    return DeviceStatus::Success;
}

void start(RunState& state, OperationType operation, std::vector<DeviceJob> jobs)
{
    state.setOperation(operation);
    state.setJobs(std::move(jobs));
    ASSERT_EQ(StartWorkers(state), StartResult::kStarted);
}

void runToEnd(RunState& state, OperationType operation, std::vector<DeviceJob> jobs)
{
    start(state, operation, std::move(jobs));
    ASSERT_TRUE(state.waitForWorkersFor(60s)) << "the run did not end";
    EXPECT_EQ(state.activeWorkers(), 0);
    EXPECT_FALSE(state.stopRequested());
}

std::string rowText(const CallbackInfo& info, OperationType operation, RunState& state)
{
    return statusEffect(info, operation, state.tables()).rowText.value_or("");
}

// A free port on 127.0.0.1 that nothing listens on.
std::uint16_t closedPort()
{
    testnet::Listener listener;
    return listener.port();
}

class RunnerTest : public RunFolderTest
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        RunFolderTest::SetUp();
    }

    // The job of a row as the Start handler builds it: the address preparation first.
    DeviceJob jobFor(const DeviceRow& row, tuint32 index, const char* password = kPassword) const
    {
        tuint32 connect = 0;
        tuint32 added = 0;
        platform::PrepareDeviceAddress({row.ipAddr2, "255.0.0.0", row.mac}, connect, added);
        return BuildDeviceJob(row, {kUser, password, exportFolder().string(), "library"}, index,
                              connect);
    }

    // Well-behaved cameras that record what they receive.
    std::vector<DeviceFaceSettings> wellBehaved(std::size_t count) const
    {
        std::vector<DeviceFaceSettings> settings(count);
        for (std::size_t i = 0; i < count; ++i)
            settings[i].recordPath = recording(i).string();
        return settings;
    }

    RecordingSink sink_;
};

// --- Logging in ----------------------------------------------------------------------

struct LoginCase
{
    std::size_t cameras;
    OperationType operation;
};

class LoginTest : public RunnerTest, public ::testing::WithParamInterface<LoginCase>
{};

TEST_P(LoginTest, EveryCameraConnectsLogsInAndGetsTheOperationsStatus)
{
    const auto [count, operation] = GetParam();
    Cameras cameras(wellBehaved(count));
    RunState state(&sink_);
    state.setOffline(true);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < count; ++i)
        jobs.push_back(jobFor(rowFor(i, cameras.port(i)), static_cast<tuint32>(i)));
    runToEnd(state, operation, std::move(jobs));

    const std::vector<tuint32> expected = {code(DeviceStatus::Connecting),
                                           code(dispatchStatus(operation))};
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<tuint32> statuses = sink_.statusesOf(keyOf(i));
        // The CSV export reports the progress of its one page.
        std::erase(statuses, code(DeviceStatus::Progress));
        EXPECT_EQ(statuses, expected) << keyOf(i);
        const auto logins = recordedLogins(recording(i).string());
        ASSERT_EQ(logins.size(), 1u) << "camera " << i;
        EXPECT_NE(logins[0].find("user=admin"), std::string::npos) << logins[0];
        EXPECT_NE(logins[0].find("verdict=accepted"), std::string::npos) << logins[0];
    }
    // The connecting text keeps a row open; the operation's status closes it.
    for (const CallbackInfo& info : sink_.records()) {
        const StatusEffect effect = statusEffect(info, operation, state.tables());
        EXPECT_EQ(effect.final, info.status != code(DeviceStatus::Connecting) &&
                                    info.status != code(DeviceStatus::Progress));
        if (info.status == code(DeviceStatus::Connecting)) {
            EXPECT_EQ(fieldText(info.ip), "127.0.0.1");
        }
    }
    // Cleared before each dispatch.
    EXPECT_FALSE(state.offline());
}

INSTANTIATE_TEST_SUITE_P(CamerasAndOperations, LoginTest,
                         ::testing::Values(LoginCase{1, OperationType::ExportData},
                                           LoginCase{1, OperationType::ImportData},
                                           LoginCase{2, OperationType::BatchAdd},
                                           LoginCase{2, OperationType::ExportCsv},
                                           LoginCase{32, OperationType::ImportData},
                                           LoginCase{32, OperationType::ExportCsv},
                                           LoginCase{32, OperationType::ExportData}));

// --- Refusals and failed connections -------------------------------------------------

struct RefusalCase
{
    const char* name;
    void (*configure)(DeviceFaceSettings&);
    const char* user;
    const char* password;
    DeviceStatus status;
    const char* rowKey; // nullptr: the log-in failure text with `loginCode`
    tint32 loginCode;
};

const RefusalCase kRefusals[] = {
    {"wrong password", [](DeviceFaceSettings&) {}, kUser, "654321", DeviceStatus::UserPwdError,
     "IDCS_USERPWD_ERROR", 0},
    {"wrong user", [](DeviceFaceSettings&) {}, "guest", kPassword, DeviceStatus::UserPwdError,
     "IDCS_USERPWD_ERROR", 0},
    {"connection limit", [](DeviceFaceSettings& s) { s.refuseEveryLogin = s.connectionLimitCode; },
     kUser, kPassword, DeviceStatus::MaxConnect, "IDCS_MAX_CONNECT", 0},
    {"another refusal code", [](DeviceFaceSettings& s) { s.refuseEveryLogin = 77; }, kUser,
     kPassword, DeviceStatus::LoginFail, nullptr, 77},
    {"short greeting",
     [](DeviceFaceSettings& s) {
         s.greetingFault = GreetingFault::Short;
         s.greetingLength = 40;
     },
     kUser, kPassword, DeviceStatus::ConnectFail, "IDCS_CONNECT_FAIL", 0},
    {"accepts but says nothing",
     [](DeviceFaceSettings& s) { s.greetingFault = GreetingFault::Missing; }, kUser, kPassword,
     DeviceStatus::ConnectFail, "IDCS_CONNECT_FAIL", 0},
    {"unsupported protocol version", [](DeviceFaceSettings& s) { s.protocolVersion = 4; }, kUser,
     kPassword, DeviceStatus::ConnectFail, "IDCS_CONNECT_FAIL", 0},
};

// All cases in one parallel run: each camera gets connecting, then its own final status.
TEST_F(RunnerTest, RefusedLoginsAndFailedConnectionsGetTheirStatus)
{
    const std::size_t count = std::size(kRefusals);
    std::vector<DeviceFaceSettings> settings = wellBehaved(count);
    for (std::size_t i = 0; i < count; ++i)
        kRefusals[i].configure(settings[i]);
    Cameras cameras(settings);

    RunState state(&sink_);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < count; ++i) {
        DeviceRow row = rowFor(i, cameras.port(i));
        jobs.push_back(BuildDeviceJob(row, {kRefusals[i].user, kRefusals[i].password, "", ""},
                                      static_cast<tuint32>(i), inet_addr("127.0.0.1")));
    }
    const std::size_t noListener = jobs.size();
    jobs.push_back(jobFor(rowFor(noListener, closedPort()), static_cast<tuint32>(noListener)));
    runToEnd(state, OperationType::ImportData, std::move(jobs));

    for (std::size_t i = 0; i < count; ++i) {
        const RefusalCase& refusal = kRefusals[i];
        SCOPED_TRACE(refusal.name);
        const auto records = sink_.records();
        std::vector<CallbackInfo> mine;
        for (const CallbackInfo& info : records)
            if (fieldText(info.mac) == keyOf(i))
                mine.push_back(info);
        ASSERT_EQ(mine.size(), 2u);
        EXPECT_EQ(mine[0].status, code(DeviceStatus::Connecting));
        EXPECT_EQ(mine[1].status, code(refusal.status));
        const StatusEffect effect =
            statusEffect(mine[1], OperationType::ImportData, state.tables());
        EXPECT_TRUE(effect.final);
        const std::string expected =
            refusal.rowKey ? languageText(refusal.rowKey) : loginFailText(refusal.loginCode);
        EXPECT_EQ(effect.rowText.value_or(""), expected);
        if (refusal.status == DeviceStatus::LoginFail) {
            EXPECT_EQ(decodeResultCode(mine[1].data), refusal.loginCode);
        } else {
            EXPECT_TRUE(mine[1].data.empty());
        }
    }
    EXPECT_EQ(sink_.statusesOf(keyOf(noListener)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::ConnectFail)}));
}

// A camera that never greets and one that never answers the login end within the run's
// own limits, far below the defaults of 2 s and 20 s.
TEST_F(RunnerTest, TheRunsLimitsBoundTheGreetingAndTheLoginWaits)
{
    std::vector<DeviceFaceSettings> settings = wellBehaved(2);
    settings[0].greetingFault = GreetingFault::Missing;
    settings[1].noReply = true;
    Cameras cameras(settings);
    RunState state(&sink_);
    RunLimits limits;
    limits.greeting = std::chrono::milliseconds(300);
    limits.session.loginReplyMs = 400;
    state.setLimits(limits);

    const auto start = testnet::Clock::now();
    runToEnd(state, OperationType::ImportData,
             {jobFor(rowFor(0, cameras.port(0)), 0), jobFor(rowFor(1, cameras.port(1)), 1)});
    EXPECT_LT(testnet::msSince(start), 1900);
    EXPECT_EQ(sink_.statusesOf(keyOf(0)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::ConnectFail)}));
    EXPECT_EQ(sink_.statusesOf(keyOf(1)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::LoginFail)}));
}

// --- Ports of 0 ------------------------------------------------------------------------

class PortZeroTest : public RunnerTest, public ::testing::WithParamInterface<OperationType>
{};

TEST_P(PortZeroTest, NoPortMeansAPortErrorWithoutAConnection)
{
    testnet::Listener device;
    RunState state(&sink_);
    state.setOffline(true);
    DeviceRow noDataPort = rowFor(0, 0);
    DeviceRow noHttpPort = rowFor(1, device.port());
    noHttpPort.httpPort = 0;
    runToEnd(state, GetParam(), {jobFor(noDataPort, 0), jobFor(noHttpPort, 1)});

    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(sink_.statusesOf(keyOf(i)), std::vector{code(DeviceStatus::PortError)});
    }
    for (const CallbackInfo& info : sink_.records())
        EXPECT_EQ(rowText(info, GetParam(), state), languageText("IDCS_PORT_ERROR"));
    pollfd entry{device.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 0), 0) << "the device saw a connection";
    EXPECT_TRUE(state.offline());
}

INSTANTIATE_TEST_SUITE_P(SequentialAndParallel, PortZeroTest,
                         ::testing::Values(OperationType::ExportData, OperationType::ImportData));

// --- The connect address -------------------------------------------------------------

// A camera listens on its first address only. A version with "3.3" reaches it there;
// any other version is connected at the second address, where nothing listens.
TEST_F(RunnerTest, VersionChoosesTheFirstOrTheSecondAddress)
{
    std::vector<DeviceFaceSettings> settings(1);
    settings[0].bindAddress = 0x7F000002; // 127.0.0.2
    Cameras cameras(settings);
    RunState state(&sink_);
    std::vector<DeviceJob> jobs;
    for (const char* version : {"V3.3.2", "V4.1.0"}) {
        DeviceRow row = rowFor(jobs.size(), cameras.port(0));
        row.ipAddr = "127.0.0.2";
        row.ipAddr2 = "127.0.0.3";
        row.softwareVer = version;
        jobs.push_back(jobFor(row, static_cast<tuint32>(jobs.size())));
    }
    runToEnd(state, OperationType::ImportData, std::move(jobs));

    EXPECT_EQ(sink_.statusesOf(keyOf(0)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::ImportFail)}));
    EXPECT_EQ(sink_.statusesOf(keyOf(1)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::ConnectFail)}));
    // The runner's statuses name the address it connected at.
    for (const CallbackInfo& info : sink_.records()) {
        if (info.status == code(DeviceStatus::ImportFail))
            continue;
        EXPECT_EQ(fieldText(info.ip), fieldText(info.mac) == keyOf(0) ? "127.0.0.2" : "127.0.0.3");
    }
}

// --- Order, parallelism and the stop flag ---------------------------------------------

class SequentialTest : public RunnerTest, public ::testing::WithParamInterface<OperationType>
{};

TEST_P(SequentialTest, DevicesAreServedOneAfterAnotherInListOrder)
{
    Cameras cameras(wellBehaved(3));
    RunState state(&sink_);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < 3; ++i)
        jobs.push_back(jobFor(rowFor(i, cameras.port(i)), static_cast<tuint32>(i)));
    runToEnd(state, GetParam(), std::move(jobs));

    std::vector<std::pair<std::string, tuint32>> seen;
    for (const CallbackInfo& info : sink_.records())
        seen.emplace_back(fieldText(info.mac), info.status);
    const tuint32 connecting = code(DeviceStatus::Connecting);
    const tuint32 done = code(dispatchStatus(GetParam()));
    const std::vector<std::pair<std::string, tuint32>> expected = {
        {keyOf(0), connecting}, {keyOf(0), done},       {keyOf(1), connecting},
        {keyOf(1), done},       {keyOf(2), connecting}, {keyOf(2), done}};
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(DataFileExportAndBatchAdd, SequentialTest,
                         ::testing::Values(OperationType::ExportData, OperationType::BatchAdd));

// A device that accepts the connection, greets with protocol version 3 and then holds
// the login unanswered, so the worker is known to be inside its login.
class HeldDevice
{
public:
    explicit HeldDevice(testnet::Listener& listener) : fd_(listener.accept())
    {
        if (fd_ < 0)
            return;
        std::vector<std::uint8_t> greeting(64, 0);
        greeting[12] = 3;
        loggingIn_ = testnet::writeAll(fd_, greeting) && awaitLogin();
    }
    ~HeldDevice() { release(); }
    HeldDevice(const HeldDevice&) = delete;
    HeldDevice& operator=(const HeldDevice&) = delete;

    bool loggingIn() const { return loggingIn_; }
    // Still connected: the worker has not given up on it.
    bool open() const
    {
        pollfd entry{fd_, POLLRDHUP, 0};
        return fd_ >= 0 && ::poll(&entry, 1, 0) == 0;
    }
    // Drops the connection: the login fails for want of a reply.
    void release()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    // Reads frames until the login request; keep-alives may come first.
    bool awaitLogin()
    {
        for (;;) {
            const auto head = testnet::readExactly(fd_, 8);
            if (head.size() != 8)
                return false;
            const std::uint32_t length = testnet::getU32(head.data() + 4);
            if (length == 0)
                continue;
            const auto body = testnet::readExactly(fd_, length);
            return body.size() >= 4 && testnet::getU32(body.data()) == 0x101;
        }
    }

    int fd_ = -1;
    bool loggingIn_ = false;
};

class ParallelTest : public RunnerTest, public ::testing::WithParamInterface<OperationType>
{};

// Every worker is inside its login at the same time, and the stop flag set during the
// run stays set until the last of them has ended.
TEST_P(ParallelTest, AllDevicesStartAtOnceAndTheLastWorkerClearsTheStopFlag)
{
    constexpr std::size_t kDevices = 8;
    testnet::Listener listener(kDevices);
    RunState state(&sink_);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < kDevices; ++i)
        jobs.push_back(jobFor(rowFor(i, listener.port()), static_cast<tuint32>(i)));
    start(state, GetParam(), std::move(jobs));
    state.setRunning(true);

    std::vector<std::unique_ptr<HeldDevice>> held;
    for (std::size_t i = 0; i < kDevices; ++i) {
        held.push_back(std::make_unique<HeldDevice>(listener));
        ASSERT_TRUE(held.back()->loggingIn()) << "device " << i << " was not reached";
    }
    for (const auto& device : held)
        EXPECT_TRUE(device->open());

    state.cancel();
    EXPECT_FALSE(state.running());
    for (std::size_t i = 0; i + 1 < kDevices; ++i)
        held[i]->release();
    ASSERT_TRUE(sink_.waitFor(
        [](const RecordingSink::Records& records) { return records.size() >= 2 * kDevices - 1; }));
    EXPECT_TRUE(state.stopRequested());
    EXPECT_GE(state.activeWorkers(), 1);
    EXPECT_FALSE(state.waitForWorkersFor(0ms));

    held.back()->release();
    ASSERT_TRUE(state.waitForWorkersFor(60s));
    EXPECT_FALSE(state.stopRequested());
    EXPECT_EQ(state.activeWorkers(), 0);
    // A login without a reply is refused with "no answer".
    for (const CallbackInfo& info : sink_.records()) {
        if (info.status == code(DeviceStatus::Connecting))
            continue;
        EXPECT_EQ(info.status, code(DeviceStatus::LoginFail));
        EXPECT_EQ(decodeResultCode(info.data), device::LoginResult::kNoAnswer);
    }
}

INSTANTIATE_TEST_SUITE_P(ImportAndCsvExport, ParallelTest,
                         ::testing::Values(OperationType::ImportData, OperationType::ExportCsv));

// Cancel during a sequential run: the device being served finishes, the others are
// never contacted, and the stop flag is cleared when the worker ends.
TEST_P(SequentialTest, CancelSkipsTheRemainingDevices)
{
    testnet::Listener listener;
    RunState state(&sink_);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < 3; ++i)
        jobs.push_back(jobFor(rowFor(i, listener.port()), static_cast<tuint32>(i)));
    start(state, GetParam(), std::move(jobs));
    state.setRunning(true);

    HeldDevice first(listener);
    ASSERT_TRUE(first.loggingIn());
    state.cancel();
    EXPECT_TRUE(state.stopRequested());
    first.release();
    ASSERT_TRUE(state.waitForWorkersFor(60s));

    EXPECT_EQ(sink_.statusesOf(keyOf(0)),
              (std::vector{code(DeviceStatus::Connecting), code(DeviceStatus::LoginFail)}));
    EXPECT_TRUE(sink_.statusesOf(keyOf(1)).empty());
    EXPECT_TRUE(sink_.statusesOf(keyOf(2)).empty());
    pollfd entry{listener.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 0), 0) << "a skipped device was contacted";
    EXPECT_FALSE(state.stopRequested());
    EXPECT_EQ(state.activeWorkers(), 0);
}

// The window's shutdown waits for a worker still inside its login and drops what it
// posts afterwards.
TEST_F(RunnerTest, ShutdownWaitsForTheWorkersAndDropsTheirLateStatuses)
{
    testnet::Listener listener;
    RunState state(&sink_);
    start(state, OperationType::ImportData, {jobFor(rowFor(0, listener.port()), 0)});
    HeldDevice device(listener);
    ASSERT_TRUE(device.loggingIn());

    auto shutdown = std::async(std::launch::async, [&] { state.shutdown(); });
    EXPECT_EQ(shutdown.wait_for(100ms), std::future_status::timeout);
    device.release();
    shutdown.get();
    EXPECT_EQ(sink_.statusesOf(keyOf(0)), std::vector{code(DeviceStatus::Connecting)});
}

// --- The session callback -------------------------------------------------------------

// A session whose camera drops it after the login (its idle limit is shorter than the
// keep-alive interval) reports the lost link through RecvCallback on its own threads,
// and the run's offline flag is set.
TEST_F(RunnerTest, LostLinkOfASessionSetsTheOfflineFlag)
{
    std::vector<DeviceFaceSettings> settings(1);
    settings[0].idleLimitMs = 300;
    Cameras cameras(settings);
    RunState state(&sink_);
    const auto run = state.beginRun();

    const RunLimits limits;
    common::CSwlConnectProc connector("127.0.0.1", cameras.port(0));
    const SWL_socket_t sock = connector.Connect(static_cast<int>(limits.connect.count()));
    ASSERT_NE(sock, SWL_INVALID_SOCKET);
    common::CSwlTcpLink link(sock);
    std::array<std::uint8_t, 64> greeting{};
    ASSERT_EQ(link.RecvExactTimed(greeting, static_cast<std::uint32_t>(limits.greeting.count())),
              common::LinkResult::kMessage);
    int error = 0;
    device::SessionHandle session(
        device::CreateSession(link.Detach(), greeting, &RecvCallback, run.get(), error));
    ASSERT_TRUE(session);
    device::DEVICE_INFO info{};
    ASSERT_EQ(session->Login(kUser, kPassword, info), device::LoginResult::kOk);

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!state.offline() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(state.offline());
    session.reset();
    EXPECT_TRUE(sink_.records().empty());
}

} // namespace
