#include "facelib/runner.h"

#include "common/swl_connectproc.h"
#include "common/swl_tcplink.h"
#include "device/greeting.h"
#include "device/loginmessage.h"
#include "device/netdvsdevice.h"
#include "facelib/callbackinfo.h"
#include "facelib/operations.h"
#include "facelib/recvcallback.h"
#include "facelib/statuspayload.h"
#include "facelib/textfield.h"
#include "platform/debuglog.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <netinet/in.h>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace galvorn {

namespace {

using device::LoginResult;

constexpr tuint32 kPortMask = 0xFFFF;

bool isSequential(OperationType operation)
{
    return operation == OperationType::ExportData || operation == OperationType::BatchAdd;
}

std::string dottedText(tuint32 networkOrder)
{
    in_addr address{};
    address.s_addr = networkOrder;
    std::array<char, INET_ADDRSTRLEN> text{};
    inet_ntop(AF_INET, &address, text.data(), text.size());
    return text.data();
}

// 0 and the broadcast address name no device; a connect to them could reach this host.
bool isDeviceAddress(tuint32 networkOrder)
{
    return networkOrder != htonl(INADDR_ANY) && networkOrder != htonl(INADDR_NONE);
}

void post(RunContext& run, DeviceStatus status, std::string_view ip, const DeviceJob& job,
          std::span<const std::uint8_t> data = {})
{
    PostDeviceStatus(&run, status, ip, fieldText(job.macAddress), data);
}

// The statuses of a refused login.
void postLoginRefusal(RunContext& run, const DeviceJob& job, std::string_view ip, int result)
{
    switch (result) {
    case LoginResult::kWrongCredentials:
        post(run, DeviceStatus::UserPwdError, ip, job);
        return;
    case LoginResult::kNoMoreConnections:
        post(run, DeviceStatus::MaxConnect, ip, job);
        return;
    default:
        post(run, DeviceStatus::LoginFail, ip, job, encodeResultCode(result));
        return;
    }
}

std::uint32_t millisecondsOf(std::chrono::milliseconds limit)
{
    return static_cast<std::uint32_t>(std::max<std::chrono::milliseconds::rep>(limit.count(), 0));
}

// A link that owns the socket, or null with the socket closed.
std::unique_ptr<common::CSwlTcpLink> linkOver(const RunContext& run, SWL_socket_t sock)
{
    try {
        return std::make_unique<common::CSwlTcpLink>(sock, run.limits().session.link);
    } catch (const std::bad_alloc&) {
        SWL_CloseSocket(sock);
        return nullptr;
    }
}

// Reads the device's greeting within its limit; a quit breaks the link.
bool readGreeting(RunContext& run, common::CSwlTcpLink& link, std::span<std::uint8_t> greeting)
{
    const ConnectionGuard breakLink(run.connections(), [&link] { link.Abort(); });
    return link.RecvExactTimed(greeting, millisecondsOf(run.limits().greeting)) ==
           common::LinkResult::kMessage;
}

void dispatch(RunContext& run, const DeviceJob& job, device::CNetDevice& session)
{
    const std::string_view key = fieldText(job.macAddress);
    const std::string_view libraryPassword = fieldText(job.libraryPassword);
    switch (run.operation()) {
    case OperationType::ExportData:
        ExportFile(job.index, session, key, libraryPassword, job.path, run, &ReportProgress);
        return;
    case OperationType::ImportData:
        ImportFile(job.index, session, key, libraryPassword, run, &ReportProgress);
        return;
    case OperationType::BatchAdd:
        ImportImage(job.index, session, key, run);
        return;
    case OperationType::ExportCsv:
        ExportCSV(job.index, session, key, job.path, run, &ReportProgress);
        return;
    }
}

// Runs `body` on a detached thread counted by the run state. The thread drops its share
// of the run before it reports its end, so that nothing of the run state is touched once
// a waiter may see the count reach 0. False when no thread could be started.
template <typename Body>
bool startThread(RunState& state, std::shared_ptr<RunContext> run, Body body)
{
    state.workerStarted();
    try {
        std::thread([&state, run = std::move(run), body = std::move(body)]() mutable {
            body(*run);
            run.reset();
            state.workerEnded();
        }).detach();
        return true;
    } catch (const std::system_error& error) {
        platform::debugPrintf("---StartWorkers thread not started: %s--", error.what());
        state.workerEnded();
        return false;
    }
}

// The jobs of a run served in list order, each taken by the first of the run's serving
// threads that is free. A stop request is seen before each job is taken; the last
// serving thread to end ends the run.
class JobQueue
{
public:
    explicit JobQueue(std::size_t servers) : servers_(servers) {}

    // The next job nobody has taken; null once every job is taken or a stop was requested.
    const DeviceJob* take(const RunContext& run)
    {
        if (run.stopRequested())
            return nullptr;
        const std::size_t index = next_.fetch_add(1);
        return index < run.jobs().size() ? &run.jobs()[index] : nullptr;
    }

    // A serving thread has ended, or could not be started.
    void serverEnded(RunContext& run)
    {
        if (servers_.fetch_sub(1) == 1)
            run.finishAll();
    }

private:
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> servers_;
};

void serveInOrder(RunContext& run, JobQueue& queue)
{
    while (const DeviceJob* job = queue.take(run))
        RunDeviceJob(run, *job);
    queue.serverEnded(run);
}

// Data-file export serves one device at a time; a batch add as many as the run asks for.
std::size_t serverCount(const RunContext& run)
{
    if (run.operation() != OperationType::BatchAdd)
        return 1;
    return std::clamp<std::size_t>(run.batchAdd().devicesAtOnce, 1, run.jobs().size());
}

void failUnstarted(RunContext& run, const DeviceJob& job)
{
    post(run, DeviceStatus::ConnectFail, dottedText(job.ipAddress), job);
}

// One thread per group of subnets, started before the workers so that the addresses are
// prepared while the workers post their first statuses.
void startPreparations(RunState& state, const std::shared_ptr<RunContext>& run)
{
    AddressPreparation& addresses = run->addresses();
    for (std::size_t group = 0; group < addresses.groupCount(); ++group) {
        if (!startThread(state, run,
                         [group](RunContext& own) { own.addresses().prepareGroup(group); }))
            addresses.skipGroup(group);
    }
}

} // namespace

int StartWorkers(RunState& state)
{
    if (state.jobs().empty())
        return StartResult::kNoJobs;
    if (state.jobs().size() > kMaxDevicesPerRun)
        return StartResult::kTooManyJobs;
    const std::shared_ptr<RunContext> run = state.beginRun();
    startPreparations(state, run);
    if (isSequential(run->operation())) {
        const std::size_t servers = serverCount(*run);
        const auto queue = std::make_shared<JobQueue>(servers);
        std::size_t started = 0;
        for (std::size_t i = 0; i < servers; ++i) {
            if (startThread(state, run, [queue](RunContext& own) { serveInOrder(own, *queue); }))
                ++started;
            else
                queue->serverEnded(*run);
        }
        if (started == 0) {
            for (const DeviceJob& job : run->jobs())
                failUnstarted(*run, job);
        }
        return StartResult::kStarted;
    }
    for (const DeviceJob& job : run->jobs()) {
        const bool started = startThread(state, run, [&job](RunContext& own) {
            RunDeviceJob(own, job);
            own.finishJob();
        });
        if (!started) {
            failUnstarted(*run, job);
            run->finishJob();
        }
    }
    return StartResult::kStarted;
}

void RunDeviceJob(RunContext& run, const DeviceJob& job)
{
    const std::string ip = dottedText(job.ipAddress);
    if (job.dataPort == 0 || job.httpPort == 0) {
        post(run, DeviceStatus::PortError, ip, job);
        return;
    }
    post(run, DeviceStatus::Connecting, ip, job);
    if (!run.addresses().waitFor(job.index)) {
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }
    try {
        RunDeviceSession(run, job, ip);
    } catch (const std::exception& error) {
        platform::debugPrintf("---RunDeviceJob %s: %s--", ip.c_str(), error.what());
        post(run, DeviceStatus::ConnectFail, ip, job);
    }
}

void RunDeviceSession(RunContext& run, const DeviceJob& job, std::string_view ip)
{
    if (!isDeviceAddress(job.ipAddress)) {
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }
    // Destroyed last, after the link and the session.
    common::CSwlConnectProc connector(ip, static_cast<std::uint16_t>(job.dataPort & kPortMask));
    SWL_socket_t sock = SWL_INVALID_SOCKET;
    {
        const ConnectionGuard stopConnect(run.connections(),
                                          [&connector] { connector.RequestStop(); });
        sock = connector.Connect(static_cast<int>(millisecondsOf(run.limits().connect)));
    }
    if (sock == SWL_INVALID_SOCKET) {
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }

    // The link owns the socket until the session takes it over.
    const std::unique_ptr<common::CSwlTcpLink> link = linkOver(run, sock);
    std::array<std::uint8_t, device::DeviceGreeting::kSize> greeting{};
    if (!link || !readGreeting(run, *link, greeting)) {
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }
    SWL_socket_t handed = link->Detach();
    if (handed == SWL_INVALID_SOCKET) {
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }
    int error = device::CreateSessionError::kOk;
    device::SessionHandle session(
        device::CreateSession(handed, greeting, &RecvCallback, &run, error, run.limits().session));
    if (!session) {
        // The socket is still ours: an unsupported greeting version or no memory.
        platform::debugPrintf("---RunDeviceSession %s no session: %d--", std::string(ip).c_str(),
                              error);
        SWL_CloseSocket(handed);
        post(run, DeviceStatus::ConnectFail, ip, job);
        return;
    }

    // Unregistered before the session is released.
    const ConnectionGuard breakSession(run.connections(), [&session] { session->Abort(); });

    device::DEVICE_INFO info{};
    const int result = session->Login(fieldText(job.userName), fieldText(job.password), info);
    if (result != LoginResult::kOk) {
        postLoginRefusal(run, job, ip, result);
        return;
    }
    run.setOffline(false);
    dispatch(run, job, *session);
}

} // namespace galvorn
