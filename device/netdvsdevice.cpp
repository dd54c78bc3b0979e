#include "device/netdvsdevice.h"

#include "common/wirebuffer.h"
#include "device/commandheader.h"
#include "device/commandids.h"
#include "device/facetransferwire.h"
#include "device/loginmessage.h"
#include "platform/debuglog.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>
#include <random>

namespace galvorn::device {

namespace {

using common::LinkResult;
using common::WireReader;
using common::WireWriter;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kChannelDefault = 128;
constexpr std::size_t kTransferStartSize = 132;
constexpr std::size_t kEventHeaderSize = 40;
constexpr std::size_t kAnswer0201Size = 260;
constexpr std::size_t kAnswer040ESize = 160;
// Progress poll results.
constexpr int kProgressUnknown = -1;
constexpr int kProgressDone = 100;
constexpr int kProgressFinalStage = 98;

// The login nonce: 1 to 0xFFFF00, from one generator per process seeded from the clock.
tuint32 nextNonce()
{
    static std::mutex mutex;
    static std::minstd_rand generator(
        static_cast<std::minstd_rand::result_type>(Clock::now().time_since_epoch().count()));
    std::lock_guard lock(mutex);
    return static_cast<tuint32>(generator() % LoginLimits::kNonceRange) + 1;
}

// The first payload word, or nullopt for a shorter payload.
std::optional<tuint32> firstWord(std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    const tuint32 word = reader.u32();
    return reader.ok() ? std::optional(word) : std::nullopt;
}

std::vector<std::uint8_t> words(std::initializer_list<tuint32> values)
{
    WireWriter writer;
    for (const tuint32 value : values)
        writer.u32(value);
    return writer.take();
}

} // namespace

ManualResetEvent& RequestGate()
{
    static ManualResetEvent gate(true);
    return gate;
}

CNetDevice* CreateSession(SWL_socket_t sock, std::span<const std::uint8_t> greeting,
                          DeviceCallback callback, void* ownerContext, int& error,
                          const SessionLimits& limits)
{
    DeviceGreeting read;
    if (!ReadGreeting(greeting, read) || read.version < DeviceGreeting::kProtocolVersion) {
        error = CreateSessionError::kVersionTooLow;
        return nullptr;
    }
    if (read.version > DeviceGreeting::kProtocolVersion) {
        error = CreateSessionError::kVersionTooHigh;
        return nullptr;
    }
    try {
        CNetDevice* session = new CNetDVSDevice(sock, read, callback, ownerContext, limits);
        error = CreateSessionError::kOk;
        return session;
    } catch (const std::bad_alloc&) {
        error = CreateSessionError::kNoMemory;
        return nullptr;
    }
}

CNetDVSDevice::CNetDVSDevice(SWL_socket_t sock, const DeviceGreeting& greeting,
                             DeviceCallback callback, void* ownerContext,
                             const SessionLimits& limits)
    : limits_(limits), link_(std::make_unique<common::CSwlTcpLink>(sock, limits.link)),
      callback_(callback), context_(ownerContext), greeting_(greeting)
{
    for (ChannelEntry& entry : channels_)
        entry.fill(kChannelDefault);
    unsigned local = 0;
    if (SWL_LocalAddress(sock, local))
        platform::adapterMacForAddress(local, mac_);
}

CNetDVSDevice::~CNetDVSDevice()
{
    link_->Close();
}

void CNetDVSDevice::Release()
{
    RequestGate().Wait();
    delete this;
}

int CNetDVSDevice::SendCommand(tuint32 command, std::span<const std::uint8_t> payload,
                               tuint32 parameter)
{
    CommandHeader header;
    header.command = command;
    header.parameter = parameter;
    header.payloadLength = static_cast<tuint32>(payload.size());
    const auto head = EncodeCommandHeader(header);
    return link_->SendMessage({head, payload}) == 0 ? DeviceResult::kOk : DeviceResult::kNoAnswer;
}

int CNetDVSDevice::Login(std::string_view user, std::string_view password, DEVICE_INFO& info)
{
    try {
        const std::vector<std::uint8_t> payload =
            BuildLoginPayload(greeting_, user, password, mac_, nextNonce());
        link_->Start(&CNetDVSDevice::linkHandler, this, common::LinkMode::KeepAliveSender);
        // The receive thread starts while the login travels, so that the first reply after
        // it does not wait for a new thread to be scheduled. One that cannot start here is
        // tried again below.
        link_->PrepareReceiving();
        // A failed send shows as a missing reply.
        SendCommand(CMD_LOGIN, payload);
        std::vector<std::uint8_t> message;
        if (link_->RecvMessage(message, true, limits_.loginReplyMs) != LinkResult::kMessage)
            return LoginResult::kNoAnswer;
        const LoginReply reply = ReadLoginReply(message);
        if (reply.result != LoginResult::kOk)
            return reply.result;
        info = reply.info;
        info_ = reply.info;
        loginByte24_ = reply.byte24;
        loginWord36_ = reply.word36;
        loginByte34_ = reply.byte34;
        loginByte35_ = reply.byte35;
        if (link_->StartReceiving() == 2)
            return LoginResult::kNoAnswer;
        // The receive thread may already have lost the link and said so; the session
        // stays offline then. A loss after this look sets it offline itself.
        std::lock_guard lock(progressMutex_);
        connectionState_ = link_->IsBroken() ? kDeviceOffline : kDeviceOnline;
        return LoginResult::kOk;
    } catch (const std::bad_alloc&) {
        return DeviceResult::kNoMemory;
    }
}

int CNetDVSDevice::StartFaceTransfer(tuint32 direction, std::string_view libraryPassword)
{
    WireWriter writer(kTransferStartSize);
    writer.u32(direction);
    // At least one zero byte ends the password.
    writer.text(libraryPassword.substr(0, kLibraryPasswordField - 1), kLibraryPasswordField);
    return SendCommand(CMD_FACE_TRANSFER_START, writer.data());
}

int CNetDVSDevice::EndFaceTransfer(tuint32 transferId)
{
    return sendWord(CMD_FACE_TRANSFER_END, transferId);
}

void CNetDVSDevice::Abort()
{
    link_->Abort();
}

int CNetDVSDevice::ConnectionState()
{
    std::lock_guard lock(progressMutex_);
    return connectionState_;
}

// --- What the device sends -----------------------------------------------------------

void CNetDVSDevice::linkHandler(void* context, const std::uint8_t* message, std::int32_t length)
{
    auto* session = static_cast<CNetDVSDevice*>(context);
    try {
        if (message == nullptr && length == -1)
            session->onLinkLost();
        else if (message != nullptr && length >= 0)
            session->onMessage(std::span(message, static_cast<std::size_t>(length)));
    } catch (const std::bad_alloc&) {
        platform::debugLine("session: out of memory, message dropped");
    }
}

void CNetDVSDevice::onLinkLost()
{
    setRequestStatus(kLost);
    {
        std::lock_guard lock(progressMutex_);
        connectionState_ = kDeviceOffline;
    }
    notifyOwner(CALLBACK_LINK_LOST, -1, nullptr, 0);
}

void CNetDVSDevice::notifyOwner(tint32 type, tint32 length, const void* data, tuint32 parameter)
{
    if (callback_)
        callback_(context_, this, type, length, data, parameter);
}

void CNetDVSDevice::setRequestStatus(int status)
{
    {
        std::lock_guard lock(statusMutex_);
        requestStatus_ = status;
    }
    statusChanged_.notify_all();
}

void CNetDVSDevice::setProgress(int progress)
{
    std::lock_guard lock(progressMutex_);
    progress_ = progress;
}

void CNetDVSDevice::onMessage(std::span<const std::uint8_t> message)
{
    const std::optional<DeviceMessage> read = ReadDeviceMessage(message);
    if (!read) {
        platform::debugLine("session: message shorter than its header, dropped");
        return;
    }
    platform::debugPrintf("CALLBACK TYPE:%u", read->header.command);
    switch (read->header.command) {
    case EVENT_DEVICE:
        deliverDeviceEvent(read->payload);
        return;
    case EVENT_DATA:
        deliverEventData(read->payload);
        return;
    default:
        dispatchReply(read->header.command, read->payload, read->header.parameter);
    }
}

void CNetDVSDevice::deliverDeviceEvent(std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    const std::uint8_t kind = reader.u8();
    const std::uint8_t byte1 = reader.u8();
    const std::uint8_t byte2 = reader.u8();
    const std::uint8_t byte3 = reader.u8();
    reader.skip(4);
    const tuint32 word8 = reader.u32();
    const tuint32 word12 = reader.u32();
    const tuint64 micros = reader.u64();
    const tuint32 word24 = reader.u32();
    const tuint32 word28 = reader.u32();
    const tuint32 dataLength = reader.u32();
    reader.skip(kEventHeaderSize - reader.offset());
    const std::span<const std::uint8_t> data = reader.bytes(dataLength);
    if (!reader.ok()) {
        platform::debugLine("session: device event shorter than it says, dropped");
        return;
    }
    const bool withData = kind == 0 || kind == 1;
    DEVICE_EVENT event;
    event.words[2] = kind == 1;
    event.words[3] = byte3;
    event.words[5] = static_cast<tuint32>(micros / 1000000);
    event.words[6] = withData ? dataLength : 0;
    event.words[7] = static_cast<tuint32>(micros);
    event.words[8] = static_cast<tuint32>(micros >> 32);
    event.words[9] = word24;
    event.words[10] = word28;
    event.words[11] = byte2;
    event.words[12] = byte1;
    event.words[13] = kind == 0 ? word8 : kind == 1 ? loginWord36_ : 0;
    event.words[14] = kind == 0 ? word12 : 0;
    // The owner gets its own copy of the data, which lives until the call returns.
    std::vector<std::uint8_t> copy;
    if (withData) {
        copy.assign(data.begin(), data.end());
        event.data = copy.data();
    }
    notifyOwner(CALLBACK_DEVICE_EVENT, -1, &event, 0);
}

void CNetDVSDevice::deliverEventData(std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    reader.skip(16);
    const tuint32 length = reader.u32();
    reader.skip(kEventHeaderSize - reader.offset());
    const std::span<const std::uint8_t> data = reader.bytes(length);
    if (!reader.ok()) {
        platform::debugLine("session: event data shorter than it says, dropped");
        return;
    }
    notifyOwner(CALLBACK_EVENT_DATA, static_cast<tint32>(length), data.data(), 0);
}

void CNetDVSDevice::dispatchReply(tuint32 command, std::span<const std::uint8_t> payload,
                                  tuint32 parameter)
{
    const auto storeReply = [&] {
        {
            std::lock_guard lock(statusMutex_);
            reply_.assign(payload.begin(), payload.end());
            requestStatus_ = kReplied;
        }
        statusChanged_.notify_all();
    };
    const auto storeWord = [&](std::atomic<tuint32>& word) {
        const std::optional<tuint32> value = firstWord(payload);
        if (value)
            word = *value;
        return value.has_value();
    };
    const auto forward = [&](CallbackType type) {
        notifyOwner(type, static_cast<tint32>(payload.size()), payload.data(), parameter);
    };

    switch (command) {
    case REPLY_0103:
        forward(CALLBACK_0103);
        return;
    case REPLY_0201: {
        std::array<std::uint8_t, kAnswer0201Size> answer{};
        std::copy_n(payload.begin(), std::min(payload.size(), answer.size()), answer.begin());
        {
            std::lock_guard lock(answerMutex_);
            answer0201_ = answer;
        }
        notifyEvent_.Set();
        return;
    }
    case REPLY_0206:
    case REPLY_0306:
    case REPLY_0401:
    case REPLY_0405:
    case REPLY_0C08:
        storeReply();
        return;
    case REPLY_020A:
        if (storeWord(word020A_))
            notifyEvent_.Set();
        return;
    case REPLY_020C:
        if (storeWord(word020C_))
            notifyEvent_.Set();
        return;
    case REPLY_CHANNEL_PARAMETERS: {
        WireReader reader(payload);
        const tuint32 w0 = reader.u32(), w1 = reader.u32(), w2 = reader.u32(), w3 = reader.u32();
        if (!reader.ok())
            return;
        std::lock_guard lock(tableMutex_);
        channels_[0][0] = static_cast<std::uint8_t>(w0);
        channels_[0][1] = static_cast<std::uint8_t>(w1);
        channels_[0][2] = static_cast<std::uint8_t>(w3);
        channels_[0][3] = static_cast<std::uint8_t>(w2);
        return;
    }
    case REPLY_0302:
        if (storeWord(word0302_))
            setRequestStatus(kReplied);
        return;
    case REPLY_0304:
        if (storeWord(word0304_))
            setRequestStatus(kReplied);
        return;
    case REPLY_0C07:
        if (storeWord(word0C07_))
            setRequestStatus(kReplied);
        return;
    case REPLY_0402_REFUSED: {
        WireReader reader(payload);
        reader.skip(8);
        const tuint32 code = reader.u32();
        if (!reader.ok())
            return;
        refusal0402_ = code;
        setRequestStatus(kRefused);
        return;
    }
    case REPLY_0406:
    case REPLY_0A01:
    case REPLY_0A02: {
        {
            std::lock_guard lock(answerMutex_);
            secondReply_.assign(payload.begin(), payload.end());
        }
        replyEvent_.Set();
        return;
    }
    case REPLY_0504:
    case REPLY_0505:
        setProgress(0);
        return;
    case REPLY_0506_PROGRESS:
    case REPLY_0802_PROGRESS:
    case REPLY_0A04_PROGRESS:
        if (const std::optional<tuint32> value = firstWord(payload))
            setProgress(static_cast<int>(*value));
        return;
    case REPLY_0801:
    case REPLY_0A03:
        setProgress(0);
        storeWord(progressWord_);
        return;
    case REPLY_0507_DONE:
    case REPLY_0701_DONE:
        setRequestStatus(kReplied);
        return;
    case REPLY_0508_REFUSED:
    case REPLY_0702_REFUSED:
        setRequestStatus(kRefused);
        return;
    case REPLY_0B01:
    case REPLY_0B02: {
        WireReader reader(payload);
        const tuint32 w0 = reader.u32(), w1 = reader.u32();
        if (!reader.ok())
            return;
        const std::array<tuint32, 3> alarm = {command == REPLY_0B01 ? 128u : 64u, w0, w1};
        notifyOwner(CALLBACK_0B0X, sizeof alarm, alarm.data(), 0);
        return;
    }
    case REPLY_FACE_IMAGE_ADD:
        forward(CALLBACK_FACE_IMAGE_ADD);
        return;
    case REPLY_FACE_INFO_QUERY:
        forward(CALLBACK_FACE_INFO_QUERY);
        return;
    case REPLY_FACE_TRANSFER_START:
        forward(CALLBACK_FACE_TRANSFER_START);
        return;
    case REPLY_FACE_IMPORT_DATA:
        forward(CALLBACK_FACE_IMPORT_DATA);
        return;
    case REPLY_FACE_EXPORT_DATA:
        forward(CALLBACK_FACE_EXPORT_DATA);
        return;
    case REPLY_FACE_TRANSFER_END:
        forward(CALLBACK_FACE_TRANSFER_END);
        return;
    default:
        platform::debugPrintf("session: reply 0x%X ignored", command);
    }
}

// --- Waiting patterns ------------------------------------------------------------------

CNetDVSDevice::WaitOutcome CNetDVSDevice::statusWait(tuint32 command,
                                                     std::span<const std::uint8_t> payload,
                                                     bool limited, std::vector<std::uint8_t>* reply)
{
    ManualResetEvent& gate = RequestGate();
    gate.Reset();
    setRequestStatus(kWaiting);
    WaitOutcome outcome = WaitOutcome::Lost;
    if (SendCommand(command, payload) == DeviceResult::kOk) {
        std::unique_lock lock(statusMutex_);
        const auto answered = [this] {
            return requestStatus_ == kReplied || requestStatus_ == kRefused ||
                   requestStatus_ == kLost;
        };
        if (limited) {
            if (!statusChanged_.wait_for(
                    lock, std::chrono::milliseconds(SessionWaits::kShortStatusWaitMs), answered))
                outcome = WaitOutcome::TimedOut;
        } else {
            statusChanged_.wait(lock, answered);
        }
        if (outcome != WaitOutcome::TimedOut) {
            outcome = requestStatus_ == kReplied   ? WaitOutcome::Replied
                      : requestStatus_ == kRefused ? WaitOutcome::Refused
                                                   : WaitOutcome::Lost;
        }
        if (outcome == WaitOutcome::Replied && reply)
            *reply = reply_;
    }
    gate.Set();
    return outcome;
}

bool CNetDVSDevice::eventWait(ManualResetEvent& event, tuint32 command,
                              std::span<const std::uint8_t> payload, int timeoutMs)
{
    event.Reset();
    if (SendCommand(command, payload) != DeviceResult::kOk)
        return false;
    return event.WaitFor(std::chrono::milliseconds(timeoutMs));
}

std::optional<std::vector<std::uint8_t>>
CNetDVSDevice::messageWait(tuint32 command, std::span<const std::uint8_t> payload,
                           std::uint32_t timeoutMs)
{
    if (SendCommand(command, payload) != DeviceResult::kOk)
        return std::nullopt;
    std::vector<std::uint8_t> message;
    if (link_->RecvMessage(message, true, timeoutMs) != LinkResult::kMessage)
        return std::nullopt;
    return message;
}

int CNetDVSDevice::sendWord(tuint32 command, tuint32 word)
{
    return SendCommand(command, words({word}));
}

// --- Slots -------------------------------------------------------------------------------

int CNetDVSDevice::OpenStream(std::uint8_t channel, std::uint8_t stream)
{
    std::unique_lock lock(streamMutex_);
    const auto key = std::make_pair(channel, stream);
    if (const auto found = streams_.find(key); found != streams_.end()) {
        ++found->second;
        lock.unlock();
        return RefreshStream(stream);
    }
    const std::array<std::uint8_t, 4> payload = {channel, stream, 0, 0};
    const int result = SendCommand(CMD_STREAM_OPEN, payload);
    if (result == DeviceResult::kOk)
        streams_[key] = 1;
    return result;
}

int CNetDVSDevice::CloseStream(std::uint8_t channel, std::uint8_t stream)
{
    std::lock_guard lock(streamMutex_);
    const auto found = streams_.find(std::make_pair(channel, stream));
    if (found == streams_.end())
        return DeviceResult::kTimedOut;
    if (--found->second > 0)
        return DeviceResult::kOk;
    streams_.erase(found);
    const std::array<std::uint8_t, 4> payload = {channel, stream, 0, 0};
    return SendCommand(CMD_STREAM_CLOSE, payload);
}

int CNetDVSDevice::RefreshStream(std::uint8_t stream)
{
    const std::array<std::uint8_t, 4> payload = {stream, 0, 0, 0};
    return SendCommand(CMD_STREAM_REFRESH, payload);
}

int CNetDVSDevice::Query0405(std::vector<std::uint8_t>& reply)
{
    switch (statusWait(CMD_0405, {}, false, &reply)) {
    case WaitOutcome::Replied:
        return DeviceResult::kOk;
    case WaitOutcome::Refused: {
        const tuint32 code = refusal0402_;
        return code == 6 ? 3 : code == 5 ? 2 : DeviceResult::kNoAnswer;
    }
    default:
        return DeviceResult::kNoAnswer;
    }
}

namespace {

// The result of a status wait whose refusal has no code of its own.
int plainOutcome(bool replied, bool timedOut)
{
    if (replied)
        return DeviceResult::kOk;
    return timedOut ? DeviceResult::kTimedOut : DeviceResult::kNoAnswer;
}

} // namespace

int CNetDVSDevice::Send0408(std::span<const std::uint8_t> payload)
{
    return SendCommand(CMD_0408, payload);
}

int CNetDVSDevice::Exchange0407(std::span<const std::uint8_t> payload,
                                std::vector<std::uint8_t>& reply)
{
    std::lock_guard lock(requestMutex_);
    const WaitOutcome outcome = statusWait(CMD_0407, payload, false, &reply);
    return plainOutcome(outcome == WaitOutcome::Replied, false);
}

int CNetDVSDevice::Query020E(std::vector<std::uint8_t>& reply)
{
    const WaitOutcome outcome = statusWait(CMD_020E, {}, true, &reply);
    return plainOutcome(outcome == WaitOutcome::Replied, outcome == WaitOutcome::TimedOut);
}

int CNetDVSDevice::Query0208(std::vector<std::uint8_t>& reply)
{
    const WaitOutcome outcome = statusWait(CMD_0208, {}, false, &reply);
    return plainOutcome(outcome == WaitOutcome::Replied, false);
}

int CNetDVSDevice::Send0406()
{
    const int result = SendCommand(CMD_0406, {});
    {
        std::lock_guard lock(statusMutex_);
        reply_.clear();
        requestStatus_ = kIdle;
    }
    return result;
}

int CNetDVSDevice::Query0401(std::span<const std::uint8_t> payload,
                             std::vector<std::uint8_t>* reply)
{
    if (!eventWait(replyEvent_, CMD_0401, payload, SessionWaits::kShortEventWaitMs))
        return DeviceResult::kNoAnswer;
    if (reply) {
        std::lock_guard lock(answerMutex_);
        *reply = secondReply_;
    }
    return DeviceResult::kOk;
}

int CNetDVSDevice::StartProgressRequest(int kind, std::span<const std::uint8_t> payload)
{
    static constexpr std::array<tuint32, 4> kCommands = {CMD_0A02, CMD_0801, CMD_0802, CMD_0804};
    if (kind < 0 || kind >= static_cast<int>(kCommands.size()))
        return DeviceResult::kBadArgument;
    setProgress(kProgressUnknown);
    progressWord_ = 0;
    return SendCommand(kCommands[static_cast<std::size_t>(kind)], payload);
}

int CNetDVSDevice::Start0504()
{
    setProgress(kProgressUnknown);
    return SendCommand(CMD_0504, {});
}

int CNetDVSDevice::Request0505()
{
    switch (statusWait(CMD_0505, {}, false)) {
    case WaitOutcome::Replied:
        return DeviceResult::kOk;
    case WaitOutcome::Refused:
        return DeviceResult::kTimedOut;
    default:
        return DeviceResult::kNoAnswer;
    }
}

// One look at the progress; caller holds progressMutex_.
int CNetDVSDevice::progressStep(int progress, int& reported)
{
    if (progress == kProgressUnknown) {
        lastReported_ = kProgressUnknown;
        return DeviceResult::kPending;
    }
    if (progress == 0) {
        lastReported_ = kProgressUnknown;
        return DeviceResult::kProgressReset;
    }
    if (progress < 1 || progress > kProgressDone)
        return DeviceResult::kOk;
    if (progress - 1 == lastReported_)
        return DeviceResult::kPending;
    reported = progress - 1;
    lastReported_ = reported;
    return DeviceResult::kOk;
}

int CNetDVSDevice::PollProgress(int& progress)
{
    std::lock_guard lock(progressMutex_);
    if (connectionState_ == kDeviceOffline)
        return DeviceResult::kNoAnswer;
    return progressStep(progress_, progress);
}

int CNetDVSDevice::PollProgressEstimate(int& progress, tuint64 totalSize, int& estimate)
{
    std::lock_guard lock(progressMutex_);
    estimate = 0;
    if (connectionState_ == kDeviceOffline) {
        lastReported_ = kProgressUnknown;
        return DeviceResult::kNoAnswer;
    }
    int current = progress_;
    if (lastReported_ == kProgressFinalStage && progress_ != kProgressDone) {
        const int duration = totalSize < SessionWaits::kLargeTotalSize
                                 ? SessionWaits::kFinishSmallMs
                                 : SessionWaits::kFinishLargeMs;
        if (!finishStart_)
            finishStart_ = Clock::now();
        const long long elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *finishStart_)
                .count();
        const int value = static_cast<int>(elapsed * 10 / duration);
        if (value != 0 && value != lastEstimate_) {
            estimate = value;
            lastEstimate_ = value;
        }
        if (elapsed <= duration)
            return DeviceResult::kPending;
        current = kProgressDone;
    } else {
        finishStart_.reset();
    }
    const int result = progressStep(current, progress);
    if (result == DeviceResult::kOk && lastReported_ == kProgressFinalStage)
        reached98_ = true;
    return result;
}

bool CNetDVSDevice::ReachedFinalStage()
{
    std::lock_guard lock(progressMutex_);
    return reached98_;
}

int CNetDVSDevice::Send0205()
{
    return SendCommand(CMD_0205, {});
}

void CNetDVSDevice::GetChannelParameters(ChannelTable& table)
{
    std::lock_guard lock(tableMutex_);
    table = channels_;
}

int CNetDVSDevice::sendChannelEntry(const ChannelEntry& entry)
{
    return SendCommand(CMD_CHANNEL_PARAMETERS, words({entry[0], entry[1], entry[3], entry[2]}));
}

int CNetDVSDevice::SendChannelParameters(const ChannelTable& table, int index)
{
    if (index < 0 || index >= static_cast<int>(table.size()))
        return DeviceResult::kBadArgument;
    return sendChannelEntry(table[static_cast<std::size_t>(index)]);
}

int CNetDVSDevice::SetChannelParameter(int channel, int kind, tuint32 value, tuint32 extra1,
                                       tuint32 extra2)
{
    if (channel < 0 || channel >= static_cast<int>(ChannelTable{}.size()))
        return DeviceResult::kBadArgument;
    const auto channelByte = static_cast<std::uint8_t>(channel);
    if (kind == 5) {
        const std::array<std::uint8_t, 4> payload = {channelByte, static_cast<std::uint8_t>(value),
                                                     static_cast<std::uint8_t>(value >> 8), 0};
        return SendCommand(CMD_0305, payload);
    }
    if (kind == 6) {
        WireWriter writer;
        writer.u8(channelByte);
        writer.zeros(3);
        writer.u32(extra1);
        writer.u32(extra2);
        return SendCommand(CMD_0303, writer.data());
    }
    // Kinds 0 to 3 set entry bytes 0, 1, 3 and 2; kind 4 sets byte 4.
    static constexpr std::array<std::size_t, 5> kByteOfKind = {0, 1, 3, 2, 4};
    if (kind < 0 || kind >= static_cast<int>(kByteOfKind.size()))
        return DeviceResult::kBadArgument;
    ChannelEntry entry;
    {
        std::lock_guard lock(tableMutex_);
        ChannelEntry& stored = channels_[static_cast<std::size_t>(channel)];
        stored[kByteOfKind[static_cast<std::size_t>(kind)]] = static_cast<std::uint8_t>(value);
        entry = stored;
    }
    return sendChannelEntry(entry);
}

int CNetDVSDevice::Send0302()
{
    std::lock_guard lock(statusMutex_);
    return SendCommand(CMD_0302, {});
}

int CNetDVSDevice::Request0701()
{
    switch (statusWait(CMD_0701, {}, false)) {
    case WaitOutcome::Replied:
        return DeviceResult::kOk;
    case WaitOutcome::Refused:
        return DeviceResult::kRefused0701;
    default:
        return DeviceResult::kNoAnswer;
    }
}

int CNetDVSDevice::Send0702(std::span<const std::uint8_t> data)
{
    WireWriter header(kEventHeaderSize);
    header.bytes(std::array<std::uint8_t, 4>{1, 32, 0, 1});
    header.zeros(28);
    header.u32(static_cast<tuint32>(data.size()));
    header.zeros(kEventHeaderSize - header.size());
    CommandHeader command;
    command.command = CMD_0702;
    command.payloadLength = static_cast<tuint32>(header.size() + data.size());
    const auto head = EncodeCommandHeader(command);
    return link_->SendMessage({head, header.data(), data}) == 0 ? DeviceResult::kOk
                                                                : DeviceResult::kNoAnswer;
}

int CNetDVSDevice::Send0703()
{
    const int result = SendCommand(CMD_0703, {});
    setRequestStatus(kIdle);
    return result;
}

int CNetDVSDevice::Query0206(std::array<std::uint8_t, 260>& answer)
{
    if (!eventWait(notifyEvent_, CMD_0206, {}, SessionWaits::kLongEventWaitMs))
        return DeviceResult::kNoAnswer;
    std::lock_guard lock(answerMutex_);
    if (!answer0201_)
        return DeviceResult::kNoAnswer;
    answer = *answer0201_;
    answer0201_.reset();
    return DeviceResult::kOk;
}

int CNetDVSDevice::Query030D(tuint32& word)
{
    const WaitOutcome outcome = statusWait(CMD_030D, {}, false);
    if (outcome == WaitOutcome::Replied)
        word = word0302_;
    return plainOutcome(outcome == WaitOutcome::Replied, false);
}

int CNetDVSDevice::Query0326(tuint32& word)
{
    const WaitOutcome outcome = statusWait(CMD_0326, {}, false);
    if (outcome == WaitOutcome::Replied)
        word = word0304_;
    return plainOutcome(outcome == WaitOutcome::Replied, false);
}

int CNetDVSDevice::Query0328(std::vector<std::uint8_t>& reply)
{
    const WaitOutcome outcome = statusWait(CMD_0328, {}, true, &reply);
    return plainOutcome(outcome == WaitOutcome::Replied, outcome == WaitOutcome::TimedOut);
}

int CNetDVSDevice::Send0C04(tuint32 argument)
{
    return sendWord(CMD_0C04, argument);
}

int CNetDVSDevice::Request0C05(std::span<const std::uint8_t> payload, tuint32& word)
{
    const WaitOutcome outcome = statusWait(CMD_0C05, payload, false);
    if (outcome == WaitOutcome::Replied)
        word = word0C07_;
    return plainOutcome(outcome == WaitOutcome::Replied, false);
}

int CNetDVSDevice::Query0C06(std::vector<std::uint8_t>& reply)
{
    const WaitOutcome outcome = statusWait(CMD_0C06, {}, true, &reply);
    return plainOutcome(outcome == WaitOutcome::Replied, outcome == WaitOutcome::TimedOut);
}

int CNetDVSDevice::Send0B01()
{
    return sendWord(CMD_0B01, 0);
}

int CNetDVSDevice::Send0B02()
{
    return sendWord(CMD_0B02, 0);
}

int CNetDVSDevice::Query040E(std::array<std::uint8_t, 160>& answer)
{
    const auto message = messageWait(CMD_040E, {}, SessionWaits::kShortEventWaitMs);
    if (!message)
        return DeviceResult::kNoAnswer;
    const std::optional<DeviceMessage> read = ReadDeviceMessage(*message);
    if (!read || read->payload.size() < kAnswer040ESize)
        return DeviceResult::kNoAnswer;
    std::copy_n(read->payload.begin(), kAnswer040ESize, answer.begin());
    return DeviceResult::kOk;
}

int CNetDVSDevice::Send0602()
{
    return SendCommand(CMD_0602, words({4, 0, 1}));
}

int CNetDVSDevice::Send030F(tuint32 value)
{
    return sendWord(CMD_030F, value);
}

namespace {

int firstWordOf(const std::optional<std::vector<std::uint8_t>>& message)
{
    if (!message)
        return DeviceResult::kNoAnswer;
    const std::optional<DeviceMessage> read = ReadDeviceMessage(*message);
    const std::optional<tuint32> word = read ? firstWord(read->payload) : std::nullopt;
    return word ? static_cast<int>(*word) : DeviceResult::kNoAnswer;
}

} // namespace

int CNetDVSDevice::Query0D01(std::span<const std::uint8_t> payload)
{
    return firstWordOf(messageWait(CMD_0D01, payload, SessionWaits::kShortEventWaitMs));
}

int CNetDVSDevice::Query0D03(std::span<const std::uint8_t> payload)
{
    return firstWordOf(messageWait(CMD_0D03, payload, SessionWaits::kLongEventWaitMs));
}

int CNetDVSDevice::Query0D04()
{
    if (!eventWait(notifyEvent_, CMD_0D04, {}, SessionWaits::kLongEventWaitMs))
        return DeviceResult::kNoAnswer;
    return static_cast<int>(word020A_.load());
}

int CNetDVSDevice::Query0210(std::span<const std::uint8_t> payload)
{
    if (!eventWait(notifyEvent_, CMD_0210, payload, SessionWaits::kShortEventWaitMs))
        return DeviceResult::kNoAnswer;
    return static_cast<int>(word020C_.load());
}

} // namespace galvorn::device
