#pragma once

#include "common/facefeatureimportandexport.h"
#include "common/facelibrarycsv.h"
#include "facelib/devicejob.h"
#include "facelib/operations.h"
#include "facelib/sessionregistry.h"
#include "support/inttypes.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace galvorn::device {
class CNetDevice;
}

namespace galvorn {

class RunContext;

// A start, chunk or end reply: its result word, and the transfer id that follows it.
struct TransferReply
{
    tuint32 result = 0;
    tuint32 transferId = 0;
};

// One face-library transfer between a worker and its device session. The worker sends
// the start request, the first data request and the end request, and waits; the
// session's receive thread delivers the replies through RecvCallback and, in the data
// phase, sends each following data request itself as soon as the reply before it has
// arrived, so that no chunk waits for a thread to wake. There is never more than one
// request in flight. Everything below `lock` is guarded by it; every change that a worker
// waits for notifies `changed` (a chunk in the middle of a transfer does not).
//
// Shared: the worker creates it and registers it for its session; RecvCallback takes a
// reference through the registry, so a reply handled while the worker unregisters still
// finds a live object (and a writer that refuses late chunks).
class FaceTransfer
{
public:
    using Clock = std::chrono::steady_clock;

    // Transfer states.
    static constexpr tuint32 kFailed = 0;
    static constexpr tuint32 kInProgress = 1;
    static constexpr tuint32 kFinished = 2;

    FaceTransfer(OperationType operation, std::string deviceKey, RunContext& run,
                 ProgressCallback progress);

    OperationType operation() const { return operation_; }
    const std::string& deviceKey() const { return deviceKey_; }

    // Reply side (the session's threads). A reply too short for what it must carry (an
    // empty optional, a short payload) fails the transfer, never counting as result 0.
    void onStartReply(std::optional<TransferReply> reply);
    void onExportData(std::span<const std::uint8_t> payload);
    void onImportAck(std::optional<tuint32> result);
    void onEndReply(std::optional<tuint32> result);
    void onPage(std::span<const std::uint8_t> payload);
    void onLinkLost();
    // Wakes a waiting worker so that it looks at the run's stop flag.
    void wake();

    // Worker side: blocks until `done` holds, the link is lost, the stop flag is set (when
    // `stoppable`), or `limit` has passed since the last progress. True when `done` held.
    template <typename Predicate>
    bool waitFor(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds limit,
                 bool stoppable, Predicate done);
    void markProgress() { lastProgress_ = Clock::now(); }
    void postProgress(const std::string& text, const facefile::Header& header);
    // Under `lock`: sends the export's data request. False when it could not be sent.
    bool requestChunk();
    // Under `lock`: sends the import chunk at `offset` (read ahead or read now), then
    // reads the chunk after it while the device works on this one. False when the chunk
    // cannot be read or sent.
    bool sendChunk();

    std::mutex lock;
    std::condition_variable changed;

    bool waitingStart = false;
    bool waitingEnd = false;
    bool linkLost = false;
    tuint32 transferId = 0;
    tuint32 startResult = 0;
    // The start reply could not be read: the transfer failed and has no id to end.
    bool startMalformed = false;
    tuint32 state = kInProgress;
    // The session of the data phase, set by the worker before the first data request;
    // the receive thread sends the following ones on it. Null: nothing is sent.
    device::CNetDevice* session = nullptr;
    // A data request (export chunk request, import chunk) is unanswered. The end request
    // waits for its reply.
    bool requestOut = false;
    // The data phase completed: the last data callback (export) or the last chunk's
    // acknowledgement (import) arrived, or every record (CSV).
    bool dataComplete = false;
    bool endAccepted = false;

    // Export to a data file: the file, created by the worker before the start request.
    std::unique_ptr<facefile::Writer> writer;
    tuint32 totalItems = 0;
    tuint32 doneItems = 0;
    // Data replies in a row that said "more" and brought no byte.
    unsigned emptyChunks = 0;
    // The data request, the same for every chunk.
    std::vector<std::uint8_t> dataRequest;

    // Import: bytes of the data file sent so far, including the header.
    std::uint64_t offset = facefile::kHeaderSize;
    std::uint64_t totalSize = 0;
    // The data file (the run's reader); null: nothing is read.
    const facefile::Reader* file = nullptr;

    // CSV export: the table and picture writer, and the records written so far.
    std::unique_ptr<common::FaceLibraryCsv> csv;
    tuint32 csvReceived = 0;
    tuint32 csvTotal = 0;
    bool pageReceived = false;

private:
    bool stopRequested() const;
    void storeError(tuint32 result);
    // Under `lock`: reads the chunk at `at` into chunkRequest_ as a whole request.
    bool prepareChunk(std::uint64_t at);

    const OperationType operation_;
    const std::string deviceKey_;
    RunContext& run_;
    const ProgressCallback progress_;
    Clock::time_point lastProgress_ = Clock::now();
    // Import: the request of the chunk at preparedOffset_, read ahead; one buffer, reused.
    std::vector<std::uint8_t> chunkRequest_;
    std::optional<std::uint64_t> preparedOffset_;
};

template <typename Predicate>
bool FaceTransfer::waitFor(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds limit,
                           bool stoppable, Predicate done)
{
    for (;;) {
        if (done())
            return true;
        if (linkLost || (stoppable && stopRequested()))
            return false;
        if (changed.wait_until(guard, lastProgress_ + limit) == std::cv_status::timeout &&
            Clock::now() >= lastProgress_ + limit)
            return done();
    }
}

// The active transfer of each device session of the window's runs.
using TransferRegistry = SessionRegistry<FaceTransfer>;

} // namespace galvorn
