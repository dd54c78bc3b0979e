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

void FaceTransfer::onStartReply(tuint32 result, tuint32 id)
{
    const std::lock_guard guard(lock);
    if (!waitingStart)
        return;
    transferId = id;
    startResult = result;
    storeError(result);
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
        if (newState == 1) {
            // A chunk the file refuses (write error, size limit) fails the export.
            if (!writer->append(data))
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

void FaceTransfer::onImportAck(tuint32 result)
{
    std::string text;
    {
        const std::lock_guard guard(lock);
        if (waitingStart || waitingEnd)
            return;
        if (result != 0) {
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
        if (result == 0)
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

void FaceTransfer::onEndReply(tuint32 result)
{
    const std::lock_guard guard(lock);
    if (!waitingEnd)
        return;
    if (result != 0)
        storeError(result);
    endAccepted = result == 0;
    state = result == 0 ? kFinished : kFailed;
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
        csvReceived += page.recordsInPage;
        csvTotal = page.totalRecords;
        dataComplete = csvReceived >= csvTotal;
        pageReceived = true;
        header.personCount = page.totalRecords;
        text = progressText(csvReceived, csvTotal, dataComplete);
        markProgress();
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
