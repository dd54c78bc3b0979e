#pragma once

#include "facelib/operationlog.h"
#include "facelib/personinfo.h"
#include "facelib/picturepipeline.h"
#include "platform/picturecodec.h"
#include "support/inttypes.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace galvorn {

// What a batch-add run adds, fixed when the run starts: the persons of the picture folder
// and the codec that prepares their pictures. The persons are shared read-only by every
// device of the run; the codec outlives the run.
struct BatchAddSource
{
    std::shared_ptr<const std::vector<PersonInfo>> persons;
    const platform::PictureCodec* codec = nullptr;
    PictureLimits pictureLimits;
    // Where the result logs of the run go.
    LogFolders logFolders = defaultLogFolders();
    // Devices served at once, each with a batch add of its own; the run's prepared
    // pictures and its look-ahead bound are shared among them.
    std::size_t devicesAtOnce = 1;
};

// One device's batch add: the person in flight and the device's answer to it.
//
// The worker sends one person at a time and waits here for the reply; the session's
// receive thread delivers replies through RecvCallback. A reply is matched to the person
// by the sequence number the device echoes, so a late reply for a person whose wait
// already ended changes nothing. Shared: registered for the session while the batch add
// runs, owned by the run.
class BatchAddDevice
{
public:
    enum class Answer
    {
        Replied,
        // A reply too short for its result word.
        Malformed,
        TimedOut,
        LinkLost,
    };

    // Reply side (the session's threads). An empty result is a reply that could not be
    // read.
    void onReply(std::optional<tuint32> result, tuint32 sequence);
    void onLinkLost();
    void wake();

    // Worker side: the person with this sequence number is about to be sent.
    void beginPerson(tuint32 sequence);
    // Blocks until the device answers the person in flight, the link is lost, or `limit`
    // has passed. On Replied `result` holds the device's result word.
    Answer awaitReply(std::chrono::milliseconds limit, tuint32& result);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    tuint32 inFlight_ = 0;
    bool replied_ = false;
    std::optional<tuint32> result_;
    bool linkLost_ = false;
};

// The counts and the log of one device's batch add, kept by its worker.
struct BatchAddTally
{
    std::size_t persons = 0;
    // Persons taken in turn: sent, or skipped for an unreadable picture.
    std::size_t attempted = 0;
    // Persons refused, unanswered or skipped; each has a log line.
    std::size_t failed = 0;
    BatchAddLog log;

    std::size_t succeeded() const { return attempted - failed; }
    // Every person was added.
    bool complete() const { return attempted == persons && failed == 0; }
};

// "<success text>:<succeeded> <failure text>:<persons not added>", the title of the
// summary box.
std::string batchAddSummary(const BatchAddTally& tally);

} // namespace galvorn
