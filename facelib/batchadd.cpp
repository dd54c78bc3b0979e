#include "facelib/batchadd.h"

#include "common/faceimageadd.h"
#include "config/inifile.h"
#include "config/languagetable.h"
#include "device/commandids.h"
#include "device/netdevice.h"
#include "facelib/callbackinfo.h"
#include "facelib/operations.h"
#include "facelib/resultcodes.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "platform/debuglog.h"

#include <charconv>
#include <cstdlib>

namespace galvorn {

namespace {

// The device's code for a batch add it will not continue; the person that got it is
// the last one sent.
constexpr tint32 kBatchAddStopCode = -6;
// The code logged for a person the device did not answer, answered with a reply that
// could not be read, or lost with the link.
constexpr tint32 kUnansweredCode = -16;
constexpr char kUnreadableKey[] = "IDCS_PICTURE_UNREADABLE";

// Text to integer as the device fields take it: a leading decimal number, else 0.
tint32 decimalValue(const std::string& text)
{
    return static_cast<tint32>(std::strtol(text.c_str(), nullptr, 10));
}

std::string_view fileNameOf(std::string_view path)
{
    return path.substr(path.find_last_of('/') + 1);
}

std::vector<std::uint8_t> addRequest(const PersonInfo& person, const PreparedPicture& picture)
{
    common::FaceImageAddBlock block;
    block.listType = decimalValue(person.listType);
    block.name = person.name;
    block.gender = equalsIgnoringCase(person.gender, "male") ? common::kGenderMale : 0;
    block.age = decimalValue(person.age);
    block.cardNumber = person.cardNumber;
    block.phone = person.phone;
    block.width = picture.size.width;
    block.height = picture.size.height;
    block.format = picture.format;
    block.pictureLength = static_cast<tuint32>(picture.byteCount());
    block.remark = person.remark;
    return common::encodeFaceImageAdd(block, *picture.bytes);
}

void reportProgress(RunContext& run, std::string_view deviceKey, const BatchAddTally& tally)
{
    ReportProgress(deviceKey, run, progressText(tally.attempted, tally.persons, tally.complete()),
                   facefile::Header{});
}

// How one person ended and whether the batch add goes on after it.
enum class Next
{
    Continue,
    Stop,
};

class DeviceBatchAdd
{
public:
    DeviceBatchAdd(device::CNetDevice& session, std::string_view deviceKey, RunContext& run,
                   BatchAddDevice& device, PicturePipeline& pictures)
        : session_(session), deviceKey_(deviceKey), run_(run), device_(device), pictures_(pictures),
          persons_(*run.batchAdd().persons)
    {
        tally_.persons = persons_.size();
    }

    BatchAddTally run()
    {
        for (std::size_t i = 0; i < persons_.size(); ++i) {
            // A stop is looked at between persons, never while one is in flight.
            if (i > 0 && run_.stopRequested())
                break;
            const Next next = addPerson(i);
            ++tally_.attempted;
            reportProgress(run_, deviceKey_, tally_);
            if (next == Next::Stop)
                break;
        }
        return std::move(tally_);
    }

private:
    void fail(const PersonInfo& person, const std::string& text)
    {
        ++tally_.failed;
        tally_.log.addLine(fileNameOf(person.picturePath), text);
    }

    Next addPerson(std::size_t index)
    {
        const PersonInfo& person = persons_[index];
        const PreparedPicture picture = pictures_.next();
        if (!picture.readable) {
            fail(person, languageText(kUnreadableKey));
            return Next::Continue;
        }
        const auto sequence = static_cast<tuint32>(index + 1);
        device_.beginPerson(sequence);
        // A request that cannot be sent is noticed as an unanswered person.
        session_.SendCommand(device::CMD_FACE_IMAGE_ADD, addRequest(person, picture), sequence);
        tuint32 result = 0;
        switch (device_.awaitReply(run_.limits().addReplyWait, result)) {
        case BatchAddDevice::Answer::Replied:
            consecutiveTimeouts_ = 0;
            return onResult(person, storedErrorCode(result));
        case BatchAddDevice::Answer::Malformed:
            consecutiveTimeouts_ = 0;
            fail(person, resultCodeText(kUnansweredCode));
            return Next::Continue;
        case BatchAddDevice::Answer::TimedOut:
            platform::debugPrintf("---ImportImage timeout--");
            fail(person, resultCodeText(kUnansweredCode));
            return ++consecutiveTimeouts_ > run_.limits().maxConsecutiveAddTimeouts
                       ? Next::Stop
                       : Next::Continue;
        case BatchAddDevice::Answer::LinkLost:
            fail(person, resultCodeText(kUnansweredCode));
            return Next::Stop;
        }
        return Next::Stop;
    }

    Next onResult(const PersonInfo& person, tint32 code)
    {
        if (code == 0)
            return Next::Continue;
        fail(person, resultCodeText(code));
        return code == kBatchAddStopCode ? Next::Stop : Next::Continue;
    }

    device::CNetDevice& session_;
    const std::string_view deviceKey_;
    RunContext& run_;
    BatchAddDevice& device_;
    PicturePipeline& pictures_;
    const std::vector<PersonInfo>& persons_;
    BatchAddTally tally_;
    unsigned consecutiveTimeouts_ = 0;
};

void postOutcome(RunContext& run, std::string_view deviceKey, const BatchAddTally& tally)
{
    run.tables().setBatchAddCounts(deviceKey,
                                   {tally.succeeded(), tally.persons - tally.succeeded()});
    if (tally.complete()) {
        PostDeviceStatus(&run, DeviceStatus::Success, {}, deviceKey);
        return;
    }
    std::string logPath;
    if (!tally.log.empty())
        logPath = writeOperationLog(tally.log.text(), run.batchAdd().logFolders);
    PostDeviceStatus(&run, DeviceStatus::ImportFail, {}, deviceKey,
                     encodeBatchSummary(batchAddSummary(tally), logPath));
}

} // namespace

// --- BatchAddDevice -------------------------------------------------------------------

void BatchAddDevice::onReply(std::optional<tuint32> result, tuint32 sequence)
{
    {
        const std::lock_guard guard(lock_);
        if (sequence != inFlight_ || replied_)
            return;
        replied_ = true;
        result_ = result;
    }
    changed_.notify_all();
}

void BatchAddDevice::onLinkLost()
{
    {
        const std::lock_guard guard(lock_);
        linkLost_ = true;
    }
    changed_.notify_all();
}

void BatchAddDevice::wake()
{
    changed_.notify_all();
}

void BatchAddDevice::beginPerson(tuint32 sequence)
{
    const std::lock_guard guard(lock_);
    inFlight_ = sequence;
    replied_ = false;
    result_.reset();
}

BatchAddDevice::Answer BatchAddDevice::awaitReply(std::chrono::milliseconds limit, tuint32& result)
{
    std::unique_lock guard(lock_);
    const bool ended = changed_.wait_for(guard, limit, [this] { return replied_ || linkLost_; });
    if (ended && replied_) {
        inFlight_ = 0;
        if (!result_)
            return Answer::Malformed;
        result = *result_;
        return Answer::Replied;
    }
    // Nothing that arrives for this person from now on counts.
    inFlight_ = 0;
    return ended ? Answer::LinkLost : Answer::TimedOut;
}

// --- summary and entry point ----------------------------------------------------------

std::string batchAddSummary(const BatchAddTally& tally)
{
    return languageText("IDCS_SUCCESS") + ":" + std::to_string(tally.succeeded()) + " " +
           languageText("IDCS_FAIL_NUM") + ":" + std::to_string(tally.persons - tally.succeeded());
}

int ImportImage(tuint32, device::CNetDevice& session, std::string_view deviceKey, RunContext& owner)
{
    const BatchAddSource& source = owner.batchAdd();
    if (!source.persons || source.persons->empty() || source.codec == nullptr) {
        PostDeviceStatus(&owner, DeviceStatus::ImportFail, {}, deviceKey);
        return OperationResult::kFailed;
    }
    auto device = std::make_shared<BatchAddDevice>();
    BatchAddTally tally;
    {
        const SessionRegistration registration(owner.batchAdds(), session, device);
        PicturePipeline pictures(*source.persons, *source.codec, owner.pictureCache(),
                                 source.pictureLimits.sharedBy(source.devicesAtOnce));
        tally = DeviceBatchAdd(session, deviceKey, owner, *device, pictures).run();
    }
    postOutcome(owner, deviceKey, tally);
    return tally.complete() ? OperationResult::kOk : OperationResult::kFailed;
}

} // namespace galvorn
