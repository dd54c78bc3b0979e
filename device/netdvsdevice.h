#pragma once

#include "common/swl_public.h"
#include "common/swl_tcplink.h"
#include "device/greeting.h"
#include "device/manualresetevent.h"
#include "device/netdevice.h"
#include "platform/adaptermac.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace galvorn::device {

// The time limits of a session that a run may shorten; the defaults are the protocol's.
struct SessionLimits
{
    std::uint32_t loginReplyMs = 20000;
    common::LinkLimits link;
};

// The session's other waits.
struct SessionWaits
{
    // A status wait with a limit gives up after 30 looks, 100 ms apart.
    static constexpr int kShortStatusWaitMs = 3000;
    static constexpr int kLongEventWaitMs = 10000;
    static constexpr int kShortEventWaitMs = 5000;
    // The progress estimate after 98 %: the expected time for the device to finish,
    // by the total size.
    static constexpr tuint64 kLargeTotalSize = 0xC00000;
    static constexpr int kFinishSmallMs = 140000;
    static constexpr int kFinishLargeMs = 240000;
};

// CreateSession() error codes.
struct CreateSessionError
{
    static constexpr int kOk = 0;
    static constexpr int kVersionTooLow = 13;
    static constexpr int kVersionTooHigh = 14;
    static constexpr int kNoMemory = 65535;
};

// Creates a session over a connected socket whose 64-byte greeting has been read. On
// success the session owns the socket; on failure (null, `error` set) the caller still
// does. A greeting shorter than 64 bytes counts as a version below 3.
CNetDevice* CreateSession(SWL_socket_t sock, std::span<const std::uint8_t> greeting,
                          DeviceCallback callback, void* ownerContext, int& error,
                          const SessionLimits& limits = {});

// The session of the device protocol. Requests leave on the caller's thread; the link's
// receive thread dispatches what the device sends, either into stored results that the
// waiting request picks up or into owner callbacks; the keep-alive thread reports the
// loss of the link.
class CNetDVSDevice final : public CNetDevice
{
public:
    CNetDVSDevice(SWL_socket_t sock, const DeviceGreeting& greeting, DeviceCallback callback,
                  void* ownerContext, const SessionLimits& limits = {});

    int Login(std::string_view user, std::string_view password, DEVICE_INFO& info) override;
    int SendCommand(tuint32 command, std::span<const std::uint8_t> payload,
                    tuint32 parameter = 0) override;
    int StartFaceTransfer(tuint32 direction, std::string_view libraryPassword) override;
    int EndFaceTransfer(tuint32 transferId) override;
    void Release() override;
    int ConnectionState() override;
    void Abort() override;

    int OpenStream(std::uint8_t channel, std::uint8_t stream) override;
    int CloseStream(std::uint8_t channel, std::uint8_t stream) override;
    int RefreshStream(std::uint8_t stream) override;
    int Query0405(std::vector<std::uint8_t>& reply) override;
    int Send0408(std::span<const std::uint8_t> payload) override;
    int Exchange0407(std::span<const std::uint8_t> payload,
                     std::vector<std::uint8_t>& reply) override;
    int Query020E(std::vector<std::uint8_t>& reply) override;
    int Query0208(std::vector<std::uint8_t>& reply) override;
    int Send0406() override;
    int Query0401(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>* reply) override;
    int StartProgressRequest(int kind, std::span<const std::uint8_t> payload) override;
    int Start0504() override;
    int Request0505() override;
    int PollProgress(int& progress) override;
    int Send0205() override;
    void GetChannelParameters(ChannelTable& table) override;
    int SendChannelParameters(const ChannelTable& table, int index) override;
    int SetChannelParameter(int channel, int kind, tuint32 value, tuint32 extra1,
                            tuint32 extra2) override;
    int Send0302() override;
    int Request0701() override;
    int Send0702(std::span<const std::uint8_t> data) override;
    int Send0703() override;
    int Query0206(std::array<std::uint8_t, 260>& answer) override;
    int PollProgressEstimate(int& progress, tuint64 totalSize, int& estimate) override;
    bool ReachedFinalStage() override;
    int Query030D(tuint32& word) override;
    int Query0326(tuint32& word) override;
    int Query0328(std::vector<std::uint8_t>& reply) override;
    int Send0C04(tuint32 argument) override;
    int Request0C05(std::span<const std::uint8_t> payload, tuint32& word) override;
    int Query0C06(std::vector<std::uint8_t>& reply) override;
    int Send0B01() override;
    int Send0B02() override;
    int Query040E(std::array<std::uint8_t, 160>& answer) override;
    int Send0602() override;
    int Send030F(tuint32 value) override;
    int Query0D01(std::span<const std::uint8_t> payload) override;
    int Query0D03(std::span<const std::uint8_t> payload) override;
    int Query0D04() override;
    int Query0210(std::span<const std::uint8_t> payload) override;

private:
    ~CNetDVSDevice() override;

    // Request status values.
    enum RequestStatus
    {
        kIdle = 0,
        kWaiting = 1,
        kReplied = 2,
        kRefused = 3,
        kLost = 4,
    };
    enum class WaitOutcome
    {
        Replied,
        Refused,
        Lost,
        TimedOut,
    };

    static void linkHandler(void* context, const std::uint8_t* message, std::int32_t length);
    void onLinkLost();
    void onMessage(std::span<const std::uint8_t> message);
    void deliverDeviceEvent(std::span<const std::uint8_t> payload);
    void deliverEventData(std::span<const std::uint8_t> payload);
    void dispatchReply(tuint32 command, std::span<const std::uint8_t> payload, tuint32 parameter);
    void notifyOwner(tint32 type, tint32 length, const void* data, tuint32 parameter);
    void setRequestStatus(int status);
    void setProgress(int progress);

    // Status wait: closes the request gate, sends, and waits for a reply status; with
    // `limited` at most SessionWaits::kShortStatusWaitMs. On Replied the stored reply is copied to
    // `reply` when given.
    WaitOutcome statusWait(tuint32 command, std::span<const std::uint8_t> payload, bool limited,
                           std::vector<std::uint8_t>* reply = nullptr);
    // Event wait: resets the event, sends, waits. False when nothing came in time.
    bool eventWait(ManualResetEvent& event, tuint32 command, std::span<const std::uint8_t> payload,
                   int timeoutMs);
    // Message wait: sends and takes the answer from the link directly. nullopt without one.
    std::optional<std::vector<std::uint8_t>>
    messageWait(tuint32 command, std::span<const std::uint8_t> payload, std::uint32_t timeoutMs);
    int sendWord(tuint32 command, tuint32 word);
    int sendChannelEntry(const ChannelEntry& entry);
    int progressStep(int progress, int& reported);

    const SessionLimits limits_;
    std::unique_ptr<common::CSwlTcpLink> link_;
    const DeviceCallback callback_;
    void* const context_;
    const DeviceGreeting greeting_;
    platform::MacBytes mac_{};

    DEVICE_INFO info_;
    std::uint8_t loginByte24_ = 0;
    tuint32 loginWord36_ = 0;
    std::uint8_t loginByte34_ = 0;
    std::uint8_t loginByte35_ = 0;

    // Guards requestStatus_ and reply_.
    std::mutex statusMutex_;
    std::condition_variable statusChanged_;
    int requestStatus_ = kIdle;
    std::vector<std::uint8_t> reply_;

    // Guards the connection state and the progress values.
    std::mutex progressMutex_;
    int connectionState_ = kDeviceOffline;
    int progress_ = -1;
    int lastReported_ = -1;
    bool reached98_ = false;
    std::optional<std::chrono::steady_clock::time_point> finishStart_;
    int lastEstimate_ = 0;

    // Serialises Exchange0407().
    std::mutex requestMutex_;

    ManualResetEvent notifyEvent_;
    ManualResetEvent replyEvent_;
    // The answers that the notify and reply events announce; under answerMutex_.
    std::mutex answerMutex_;
    std::optional<std::array<std::uint8_t, 260>> answer0201_;
    std::vector<std::uint8_t> secondReply_;

    std::mutex tableMutex_;
    ChannelTable channels_;

    std::mutex streamMutex_;
    std::map<std::pair<std::uint8_t, std::uint8_t>, int> streams_;

    // Single words stored by the reply dispatcher.
    std::atomic<tuint32> word020A_{0};
    std::atomic<tuint32> word020C_{0};
    std::atomic<tuint32> word0302_{0};
    std::atomic<tuint32> word0304_{0};
    std::atomic<tuint32> word0C07_{0};
    std::atomic<tuint32> refusal0402_{0};
    std::atomic<tuint32> progressWord_{0};
};

} // namespace galvorn::device
