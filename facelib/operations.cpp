#include "facelib/operations.h"

#include "common/facelibrarycsv.h"
#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "device/facetransferwire.h"
#include "device/netdevice.h"
#include "facelib/callbackinfo.h"
#include "facelib/facetransfer.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "platform/debuglog.h"

#include <ctime>
#include <mutex>
#include <optional>
#include <vector>

namespace galvorn {

namespace {

using device::kDirectionExport;
using device::kDirectionImport;
constexpr tuint32 kQueryPageSize = 10;
constexpr std::size_t kQueryFilterSize = 276;
constexpr char kCsvExtension[] = ".csv";

// How a wait for the device ended.
enum class Wait
{
    Done,
    Stopped,
    LinkLost,
    TimedOut,
};

template <typename Predicate>
Wait waitFor(FaceTransfer& transfer, std::unique_lock<std::mutex>& guard,
             std::chrono::milliseconds limit, bool stoppable, const RunContext& run, Predicate done)
{
    if (transfer.waitFor(guard, limit, stoppable, done))
        return Wait::Done;
    if (transfer.linkLost)
        return Wait::LinkLost;
    if (stoppable && run.stopRequested())
        return Wait::Stopped;
    return Wait::TimedOut;
}

using Registration = SessionRegistration<FaceTransfer>;

std::vector<std::uint8_t> transferIdPayload(tuint32 transferId)
{
    common::WireWriter writer(4);
    writer.u32(transferId);
    return writer.take();
}

// Sends the start request and waits for its reply. On Done the transfer id is recorded
// for the device.
Wait startTransfer(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                   tuint32 direction, std::string_view libraryPassword,
                   std::chrono::milliseconds limit)
{
    {
        const std::lock_guard guard(transfer.lock);
        transfer.waitingStart = true;
        transfer.markProgress();
    }
    if (session.StartFaceTransfer(direction, libraryPassword) != 0)
        return Wait::LinkLost;
    std::unique_lock guard(transfer.lock);
    const Wait wait =
        waitFor(transfer, guard, limit, true, run, [&transfer] { return !transfer.waitingStart; });
    transfer.waitingStart = false;
    if (wait == Wait::Done)
        run.tables().setTransferId(transfer.deviceKey(), transfer.transferId);
    return wait;
}

// Sends the end request and, when `limit` is given, waits for its reply.
void endTransfer(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                 std::chrono::milliseconds limit, const char* timeoutText)
{
    tuint32 transferId = 0;
    {
        std::unique_lock guard(transfer.lock);
        // One request in flight: a data request still unanswered (the transfer stopped or
        // failed meanwhile) is answered first.
        transfer.waitFor(guard, limit, false, [&transfer] { return !transfer.requestOut; });
        transfer.waitingEnd = true;
        transfer.markProgress();
        transferId = transfer.transferId;
    }
    // After waitingEnd no chunk reaches the file; the header goes in as it stands.
    if (transfer.writer)
        transfer.writer->close();
    if (session.EndFaceTransfer(transferId) != 0)
        return;
    std::unique_lock guard(transfer.lock);
    if (waitFor(transfer, guard, limit, false, run, [&transfer] { return !transfer.waitingEnd; }) ==
        Wait::TimedOut)
        platform::debugPrintf("%s", timeoutText);
}

// The final status of a failed transfer: the device's error when one is recorded for
// the transfer, else `otherwise`.
DeviceStatus failureStatus(RunContext& run, const FaceTransfer& transfer, bool started,
                           DeviceStatus otherwise)
{
    if (started && run.tables().errorCode(transfer.deviceKey(), transfer.transferId) != 0)
        return DeviceStatus::DeviceError;
    return otherwise;
}

// Waits, under `guard`, for the end of the data phase, which the receive thread drives
// chunk by chunk. True to finish with the end step, false to give up without it.
bool awaitDataPhase(FaceTransfer& transfer, std::unique_lock<std::mutex>& guard, RunContext& run,
                    std::chrono::milliseconds limit, const char* timeoutText)
{
    const Wait wait = waitFor(transfer, guard, limit, true, run,
                              [&transfer] { return transfer.state != FaceTransfer::kInProgress; });
    if (wait == Wait::TimedOut)
        platform::debugPrintf("%s", timeoutText);
    return wait == Wait::Done || wait == Wait::Stopped;
}

// The data phase of an export: the first data request; the receive thread asks for every
// later chunk until the device reports the end or a failure. False only when the export
// must give up without the end step.
bool pullChunks(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                std::chrono::milliseconds limit)
{
    std::unique_lock guard(transfer.lock);
    transfer.session = &session;
    transfer.dataRequest = transferIdPayload(transfer.transferId);
    transfer.markProgress();
    if (!transfer.requestChunk())
        return true;
    return awaitDataPhase(transfer, guard, run, limit, "---ExportFile ExportData timeout---");
}

bool exportLibrary(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                   std::string_view libraryPassword, bool& started)
{
    const std::chrono::milliseconds limit = run.limits().exportWait;
    const Wait start =
        startTransfer(session, transfer, run, kDirectionExport, libraryPassword, limit);
    if (start == Wait::TimedOut)
        platform::debugPrintf("---ExportFile StartExport timeout--");
    if (start != Wait::Done)
        return false;
    started = true;
    // A start reply that cannot be read names no transfer to end.
    if (transfer.startMalformed)
        return false;
    if (transfer.startResult != 0) {
        session.EndFaceTransfer(transfer.transferId);
        return false;
    }
    // A camera left in its transfer mode would refuse the next transfer, so a file that
    // cannot be created still ends the transfer.
    if (!transfer.writer->open()) {
        session.EndFaceTransfer(transfer.transferId);
        return false;
    }
    if (!pullChunks(session, transfer, run, limit))
        return false;
    endTransfer(session, transfer, run, limit, "---ExportFile ExportData timeout---");
    const std::lock_guard guard(transfer.lock);
    // commit() refuses a file whose closing write failed.
    return transfer.dataComplete && transfer.endAccepted && transfer.writer->commit();
}

// The data phase of an import: the first chunk; the receive thread sends every later
// one as the chunk before it is acknowledged. False only when the import must give up
// without the end step.
bool pushChunks(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                const facefile::Reader& file, std::chrono::milliseconds limit)
{
    std::unique_lock guard(transfer.lock);
    transfer.session = &session;
    transfer.file = &file;
    transfer.markProgress();
    if (!transfer.sendChunk()) {
        transfer.state = FaceTransfer::kFailed;
        return true;
    }
    return awaitDataPhase(transfer, guard, run, limit, "---ImportFile ImportData timeout--");
}

bool importLibrary(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run,
                   const facefile::Reader& file, std::string_view libraryPassword, bool& started)
{
    const std::chrono::milliseconds limit = run.limits().importWait;
    const Wait start =
        startTransfer(session, transfer, run, kDirectionImport, libraryPassword, limit);
    if (start == Wait::TimedOut)
        platform::debugPrintf("---ImportFile StartExport timeout--");
    // A stop during the start wait still sends the first chunk and the end request.
    if (start != Wait::Done && start != Wait::Stopped)
        return false;
    started = start == Wait::Done;
    if (started && (transfer.startResult != 0 || transfer.startMalformed))
        return false;
    if (!pushChunks(session, transfer, run, file, limit))
        return false;
    endTransfer(session, transfer, run, limit, "---ImportFile EndImport timeout--");
    const std::lock_guard guard(transfer.lock);
    return transfer.dataComplete && transfer.endAccepted;
}

std::vector<std::uint8_t> queryPayload(tuint32 page)
{
    common::WireWriter writer(8 + kQueryFilterSize);
    writer.u32(page);
    writer.u32(kQueryPageSize);
    writer.zeros(kQueryFilterSize);
    return writer.take();
}

bool exportTable(device::CNetDevice& session, FaceTransfer& transfer, RunContext& run)
{
    const std::chrono::milliseconds limit = run.limits().csvWait;
    for (tuint32 page = 0;; ++page) {
        {
            const std::lock_guard guard(transfer.lock);
            transfer.pageReceived = false;
            transfer.markProgress();
        }
        if (session.SendCommand(device::CMD_FACE_INFO_QUERY, queryPayload(page)) != 0)
            return false;
        std::unique_lock guard(transfer.lock);
        const Wait wait = waitFor(transfer, guard, limit, true, run,
                                  [&transfer] { return transfer.pageReceived; });
        if (wait == Wait::TimedOut)
            platform::debugPrintf("---ExportCSV Reply timeout--");
        if (wait != Wait::Done || transfer.state == FaceTransfer::kFailed)
            return false;
        if (transfer.dataComplete)
            return true;
    }
}

std::string csvTablePath(std::string_view folder, std::string_view deviceKey)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::string(folder) + "/" + facefile::fileName(deviceKey, local, kCsvExtension);
}

} // namespace

void ReportProgress(std::string_view deviceKey, RunContext& owner, std::string_view text,
                    const facefile::Header& header)
{
    PostDeviceStatus(&owner, DeviceStatus::Progress, {}, deviceKey, encodeProgress(header, text));
}

int ExportFile(tuint32, device::CNetDevice& session, std::string_view deviceKey,
               std::string_view libraryPassword, std::string_view exportFolder, RunContext& owner,
               ProgressCallback progress)
{
    auto transfer = std::make_shared<FaceTransfer>(OperationType::ExportData,
                                                   std::string(deviceKey), owner, progress);
    transfer->writer = std::make_unique<facefile::Writer>(std::string(exportFolder), deviceKey);
    bool started = false;
    bool done = false;
    {
        const Registration registration(owner.transfers(), session, transfer);
        done = exportLibrary(session, *transfer, owner, libraryPassword, started);
    }
    if (!done)
        transfer->writer->discard();
    const DeviceStatus status =
        done ? DeviceStatus::Success
             : failureStatus(owner, *transfer, started, DeviceStatus::ExportFail);
    PostDeviceStatus(&owner, status, {}, deviceKey);
    return done ? OperationResult::kOk : OperationResult::kFailed;
}

int ImportFile(tuint32, device::CNetDevice& session, std::string_view deviceKey,
               std::string_view libraryPassword, RunContext& owner, ProgressCallback progress)
{
    const facefile::Reader* file = owner.importFile();
    if (file == nullptr || !file->isOpen()) {
        PostDeviceStatus(&owner, DeviceStatus::ImportFail, {}, deviceKey);
        return OperationResult::kFailed;
    }
    auto transfer = std::make_shared<FaceTransfer>(OperationType::ImportData,
                                                   std::string(deviceKey), owner, progress);
    transfer->totalSize = file->size();
    bool started = false;
    bool done = false;
    {
        const Registration registration(owner.transfers(), session, transfer);
        done = importLibrary(session, *transfer, owner, *file, libraryPassword, started);
    }
    const DeviceStatus status =
        done ? DeviceStatus::Success
             : failureStatus(owner, *transfer, started, DeviceStatus::ImportFail);
    PostDeviceStatus(&owner, status, {}, deviceKey);
    return done ? OperationResult::kOk : OperationResult::kFailed;
}

int ExportCSV(tuint32, device::CNetDevice& session, std::string_view deviceKey,
              std::string_view exportFolder, RunContext& owner, ProgressCallback progress)
{
    auto transfer = std::make_shared<FaceTransfer>(OperationType::ExportCsv, std::string(deviceKey),
                                                   owner, progress);
    transfer->csv = std::make_unique<common::FaceLibraryCsv>(std::string(exportFolder),
                                                             csvTablePath(exportFolder, deviceKey));
    bool done = false;
    {
        const Registration registration(owner.transfers(), session, transfer);
        done = exportTable(session, *transfer, owner);
    }
    PostDeviceStatus(&owner, done ? DeviceStatus::Success : DeviceStatus::ExportFail, {},
                     deviceKey);
    return done ? OperationResult::kOk : OperationResult::kFailed;
}

} // namespace galvorn
