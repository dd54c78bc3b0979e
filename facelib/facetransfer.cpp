#include "facelib/facetransfer.h"

#include "common/wirebuffer.h"
#include "facelib/resultcodes.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"

namespace galvorn {

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

    std::string text;
    facefile::Header header;
    {
        const std::lock_guard guard(lock);
        if (waitingEnd || waitingStart || !writer)
            return;
        tuint32 newState = wellFormed ? chunkState : kFailed;
        if (newState == kInProgress) {
            // A chunk the file refuses (write error, size limit) fails the export, and so
            // does a device that keeps saying "more" without sending any.
            emptyChunks = data.empty() ? emptyChunks + 1 : 0;
            if (!writer->append(data) || emptyChunks > run_.limits().maxConsecutiveEmptyChunks)
                newState = kFailed;
            totalItems = total;
            doneItems += items;
            text = progressText(doneItems, totalItems, false);
            header = writer->header();
        }
        if (newState == kFinished)
            dataComplete = true;
        state = newState;
        ++receivedReplies;
        markProgress();
        postProgress(text, header);
        changed.notify_all();
    }
}

void FaceTransfer::onImportAck(std::optional<tuint32> reply)
{
    std::string text;
    {
        const std::lock_guard guard(lock);
        if (waitingStart || waitingEnd)
            return;
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
        if (state != kFailed)
            text = progressText(offset, totalSize, dataComplete);
        ++receivedReplies;
        markProgress();
        postProgress(text, facefile::Header{});
        changed.notify_all();
    }
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
