#include "facelib/facetransfer.h"

#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "device/facetransferwire.h"
#include "device/netdevice.h"
#include "facelib/resultcodes.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"

#include <algorithm>

namespace galvorn {

namespace {

using device::kChunkHeadSize;
using device::kChunkLast;
using device::kChunkMore;

} // namespace

FaceTransfer::FaceTransfer(OperationType operation, std::string deviceKey, RunContext& run,
                           ProgressCallback progress)
    : operation_(operation), deviceKey_(std::move(deviceKey)), run_(run), progress_(progress)
{}

bool FaceTransfer::stopRequested() const
{
    return run_.stopRequested();
}

void FaceTransfer::storeError(tuint32 result)
{
    run_.tables().setErrorCode(deviceKey_, transferId, storedErrorCode(result));
}

void FaceTransfer::onStartReply(std::optional<TransferReply> reply)
{
    const std::lock_guard guard(lock);
    if (!waitingStart)
        return;
    if (reply) {
        transferId = reply->transferId;
        startResult = reply->result;
        storeError(reply->result);
    } else {
        startMalformed = true;
        state = kFailed;
    }
    waitingStart = false;
    markProgress();
    changed.notify_all();
}

void FaceTransfer::onExportData(std::span<const std::uint8_t> payload)
{
    common::WireReader reader(payload);
    reader.skip(4);
    const tuint32 chunkState = reader.u32();
    const tuint32 total = reader.u32();
    const tuint32 items = reader.u32();
    const tuint32 length = reader.u32();
    const std::span<const std::uint8_t> data = reader.bytes(length);
    const bool wellFormed = reader.ok();

    bool wakeWorker = false;
    {
        const std::lock_guard guard(lock);
        if (waitingEnd || waitingStart || !writer)
            return;
        requestOut = false;
        // A failure is final: the reply to a request that was out when it happened
        // changes nothing.
        if (state == kFailed) {
            changed.notify_all();
            return;
        }
        tuint32 newState = wellFormed ? chunkState : kFailed;
        std::string text;
        facefile::Header header;
        if (newState == kInProgress) {
            // A device that keeps saying "more" without sending any fails the export.
            emptyChunks = data.empty() ? emptyChunks + 1 : 0;
            if (emptyChunks > run_.limits().maxConsecutiveEmptyChunks)
                newState = kFailed;
            // The next chunk is asked for before this one is written, so the device
            // prepares it meanwhile.
            else if (!stopRequested() && !requestChunk())
                newState = kFailed;
            // A chunk the file refuses (write error, size limit) fails the export.
            if (newState == kInProgress && !writer->append(data))
                newState = kFailed;
            totalItems = total;
            doneItems += items;
            text = progressText(doneItems, totalItems, false);
            header = writer->header();
        }
        if (newState == kFinished)
            dataComplete = true;
        state = newState;
        markProgress();
        postProgress(text, header);
        wakeWorker = state != kInProgress || !requestOut;
    }
    if (wakeWorker)
        changed.notify_all();
}

bool FaceTransfer::requestChunk()
{
    if (session == nullptr)
        return true;
    requestOut = session->SendCommand(device::CMD_FACE_EXPORT_DATA, dataRequest) == 0;
    return requestOut;
}

bool FaceTransfer::prepareChunk(std::uint64_t at)
{
    preparedOffset_.reset();
    if (file == nullptr || at > totalSize)
        return false;
    const bool last = at + facefile::kImportChunkSize > totalSize;
    const std::size_t length =
        last ? static_cast<std::size_t>(totalSize - at) : facefile::kImportChunkSize;
    common::WireWriter head(kChunkHeadSize);
    head.u32(transferId);
    head.u32(last ? kChunkLast : kChunkMore);
    head.u32(static_cast<tuint32>(length));
    chunkRequest_.resize(kChunkHeadSize + length);
    std::copy(head.data().begin(), head.data().end(), chunkRequest_.begin());
    if (!file->readChunk(at, std::span(chunkRequest_).subspan(kChunkHeadSize)))
        return false;
    preparedOffset_ = at;
    return true;
}

bool FaceTransfer::sendChunk()
{
    if (session == nullptr || file == nullptr)
        return true;
    if (preparedOffset_ != offset && !prepareChunk(offset))
        return false;
    const bool last = offset + facefile::kImportChunkSize > totalSize;
    requestOut = session->SendCommand(device::CMD_FACE_IMPORT_DATA, chunkRequest_) == 0;
    preparedOffset_.reset();
    if (!requestOut)
        return false;
    // A chunk that cannot be read now is read again, and refused then, when it is due.
    if (!last)
        prepareChunk(offset + facefile::kImportChunkSize);
    return true;
}

void FaceTransfer::onImportAck(std::optional<tuint32> reply)
{
    bool wakeWorker = false;
    {
        const std::lock_guard guard(lock);
        if (waitingStart || waitingEnd)
            return;
        requestOut = false;
        if (state == kFailed) {
            changed.notify_all();
            return;
        }
        const tuint32 result = reply.value_or(0);
        if (!reply) {
            state = kFailed;
        } else if (result != 0) {
            storeError(result);
            state = kFailed;
        } else if (offset + facefile::kImportChunkSize <= totalSize) {
            offset += facefile::kImportChunkSize;
            state = kInProgress;
        } else {
            offset = totalSize;
            state = kFinished;
            dataComplete = true;
        }
        std::string text;
        if (state != kFailed)
            text = progressText(offset, totalSize, dataComplete);
        if (state == kInProgress && !stopRequested() && !sendChunk())
            state = kFailed;
        markProgress();
        postProgress(text, facefile::Header{});
        wakeWorker = state != kInProgress || !requestOut;
    }
    if (wakeWorker)
        changed.notify_all();
}

// Called with the transfer's lock held, so the worker, which waits under that lock,
// cannot post the transfer's final status before this progress: both are posted from
// different threads, and the final text must be the last one a row receives.
void FaceTransfer::postProgress(const std::string& text, const facefile::Header& header)
{
    if (!text.empty() && progress_)
        progress_(deviceKey_, run_, text, header);
}

void FaceTransfer::onEndReply(std::optional<tuint32> result)
{
    const std::lock_guard guard(lock);
    if (!waitingEnd)
        return;
    if (result && *result != 0)
        storeError(*result);
    endAccepted = result == 0u;
    state = endAccepted ? kFinished : kFailed;
    waitingEnd = false;
    markProgress();
    changed.notify_all();
}

void FaceTransfer::onPage(std::span<const std::uint8_t> payload)
{
    std::string text;
    facefile::Header header;
    header.magic = 0;
    {
        const std::lock_guard guard(lock);
        if (!csv)
            return;
        const common::FaceLibraryCsv::Page page = csv->writePage(payload);
        pageReceived = true;
        markProgress();
        if (!page.wellFormed) {
            state = kFailed;
            changed.notify_all();
            return;
        }
        // Only the records written count: a page that claims more than it carries must not
        // complete the table.
        csvReceived += page.recordsWritten;
        csvTotal = page.totalRecords;
        dataComplete = csvReceived >= csvTotal;
        // A page without a record before the total is reached would be asked for again and
        // again.
        if (!dataComplete && page.recordsWritten == 0)
            state = kFailed;
        header.personCount = page.totalRecords;
        text = progressText(csvReceived, csvTotal, dataComplete);
        postProgress(text, header);
        changed.notify_all();
    }
}

void FaceTransfer::onLinkLost()
{
    const std::lock_guard guard(lock);
    linkLost = true;
    changed.notify_all();
}

void FaceTransfer::wake()
{
    const std::lock_guard guard(lock);
    changed.notify_all();
}

} // namespace galvorn
