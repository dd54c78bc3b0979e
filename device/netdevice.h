#pragma once

#include "device/deviceinfo.h"
#include "support/inttypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace galvorn::device {

class CNetDevice;

// The owner callback of a device session: (owner context, session, type, length, data,
// parameter). Types are the CALLBACK_ entries of device/commandids.h. `data` is valid
// only during the call; for type 1 (link lost) it is null and the length -1. For the
// replies (types 4, 6 to 10 and 19) the parameter is the reply header's parameter word,
// otherwise 0. Called on the session's receive thread, and for type 1 on its keep-alive
// thread, so the owner does its own locking; it must not release the session from
// inside the call. The return value is ignored.
using DeviceCallback = int (*)(void* ownerContext, CNetDevice* session, tint32 type, tint32 length,
                               const void* data, tuint32 parameter);

// Results of the session operations, beside the login results of loginmessage.h and the
// device's own codes.
struct DeviceResult
{
    static constexpr int kOk = 0;
    // Refused, or waiting for more (progress polls).
    static constexpr int kPending = 3;
    // No reply, or the link is lost.
    static constexpr int kNoAnswer = 4;
    static constexpr int kProgressReset = 8;
    static constexpr int kBadArgument = 11;
    static constexpr int kRefused0701 = 12;
    static constexpr int kTimedOut = 15;
    static constexpr int kNoMemory = 65535;
};

// Connection states.
inline constexpr int kDeviceOnline = 0;
inline constexpr int kDeviceOffline = 4;

// The channel parameter table: 64 entries of 5 bytes, every byte 128 at first.
using ChannelEntry = std::array<std::uint8_t, 5>;
using ChannelTable = std::array<ChannelEntry, 64>;

// The record of owner-callback type 0 (device event 0x1000C01): sixteen fields, the last
// a pointer to the event data (null for kinds other than 0 and 1). Word indices:
// 2 kind is 1; 3 header byte 3; 5 time in seconds; 6 data length; 7 and 8 the low and
// high halves of the time in microseconds; 9 and 10 the header words at 24 and 28;
// 11 and 12 header bytes 2 and 1; 13 the header word at 8 (kind 0) or the login word
// (kind 1); 14 the header word at 12 (kind 0). The others are 0.
struct DEVICE_EVENT
{
    std::array<tuint32, 15> words{};
    const std::uint8_t* data = nullptr;
};

// A logged-in connection to one device. Every operation returns an integer code and
// throws nothing. Only one status-wait request may be in flight per session.
class CNetDevice
{
public:
    // Slot 0. The user name and password are cut to 32 bytes at a character boundary.
    // 0 logged in; 4 no reply; 1, 5, 6 or another device code: refused.
    virtual int Login(std::string_view user, std::string_view password, DEVICE_INFO& info) = 0;

    // Sends one request: the 16-byte command header (command, parameter, 0, payload
    // length) and the payload. 0 sent; 4 send failed; 65535 no memory. The face-library
    // requests go out this way and their replies come back through the owner callback.
    virtual int SendCommand(tuint32 command, std::span<const std::uint8_t> payload,
                            tuint32 parameter = 0) = 0;
    // CMD_FACE_TRANSFER_START: direction (1 export, 2 import) and the face-library
    // password, NUL-terminated in 128 bytes (longer passwords are cut). Send result.
    virtual int StartFaceTransfer(tuint32 direction, std::string_view libraryPassword) = 0;
    // CMD_FACE_TRANSFER_END with the transfer id. Send result.
    virtual int EndFaceTransfer(tuint32 transferId) = 0;

    // Slot 29: waits until no request of any session is in progress (the request gate),
    // closes the link and destroys the session. Not from inside the owner callback.
    virtual void Release() = 0;
    // Slot 28: kDeviceOnline or kDeviceOffline.
    virtual int ConnectionState() = 0;
    // Callable from any thread, also while another thread waits in the session: breaks
    // its link at once, so that every wait of the session ends and the owner hears of
    // the loss (type 1). The session is released as usual afterwards.
    virtual void Abort() = 0;

    // Slots 2 to 4: streams are reference-counted per (channel, stream) pair; only the
    // first open and the last close reach the device.
    virtual int OpenStream(std::uint8_t channel, std::uint8_t stream) = 0;
    virtual int CloseStream(std::uint8_t channel, std::uint8_t stream) = 0;
    virtual int RefreshStream(std::uint8_t stream) = 0;

    // The requests whose purpose this program does not use, named by their command id.
    // Slot 5 (status wait; refusal code 6 → 3, 5 → 2, other → 4).
    virtual int Query0405(std::vector<std::uint8_t>& reply) = 0;
    virtual int Send0408(std::span<const std::uint8_t> payload) = 0; // 7
    virtual int Exchange0407(std::span<const std::uint8_t> payload,
                             std::vector<std::uint8_t>& reply) = 0; // 8
    virtual int Query020E(std::vector<std::uint8_t>& reply) = 0;    // 9
    virtual int Query0208(std::vector<std::uint8_t>& reply) = 0;    // 10
    virtual int Send0406() = 0;                                     // 11
    // Slots 12 and 32: waits up to 5000 ms for the second reply; copies it when `reply`
    // is given.
    virtual int Query0401(std::span<const std::uint8_t> payload,
                          std::vector<std::uint8_t>* reply) = 0;
    // Slot 13: kind 0 to 3 sends 0xA02, 0x801, 0x802 or 0x804 and resets the progress.
    virtual int StartProgressRequest(int kind, std::span<const std::uint8_t> payload) = 0;
    virtual int Start0504() = 0;   // 15
    virtual int Request0505() = 0; // 16
    // Slot 17: 4 offline; 3 nothing new; 8 progress reset; 0 with `progress` reported.
    virtual int PollProgress(int& progress) = 0;
    virtual int Send0205() = 0;                                                  // 19
    virtual void GetChannelParameters(ChannelTable& table) = 0;                  // 20
    virtual int SendChannelParameters(const ChannelTable& table, int index) = 0; // 21
    // Slot 22: kinds 0 to 4 change one byte of the channel's entry and send it; kind 5
    // sends 0x305 and kind 6 sends 0x303 with the two extra words.
    virtual int SetChannelParameter(int channel, int kind, tuint32 value, tuint32 extra1,
                                    tuint32 extra2) = 0;
    virtual int Send0302() = 0;                                       // 23
    virtual int Request0701() = 0;                                    // 25
    virtual int Send0702(std::span<const std::uint8_t> data) = 0;     // 26
    virtual int Send0703() = 0;                                       // 27
    virtual int Query0206(std::array<std::uint8_t, 260>& answer) = 0; // 30
    // Slot 33: as slot 17, and after 98 % an estimate while the device finishes.
    virtual int PollProgressEstimate(int& progress, tuint64 totalSize, int& estimate) = 0;
    virtual bool ReachedFinalStage() = 0;                                              // 34
    virtual int Query030D(tuint32& word) = 0;                                          // 35
    virtual int Query0326(tuint32& word) = 0;                                          // 36
    virtual int Query0328(std::vector<std::uint8_t>& reply) = 0;                       // 37
    virtual int Send0C04(tuint32 argument) = 0;                                        // 38
    virtual int Request0C05(std::span<const std::uint8_t> payload, tuint32& word) = 0; // 39
    virtual int Query0C06(std::vector<std::uint8_t>& reply) = 0;                       // 40
    virtual int Send0B01() = 0;
    virtual int Send0B02() = 0;
    virtual int Query040E(std::array<std::uint8_t, 160>& answer) = 0;
    virtual int Send0602() = 0;
    virtual int Send030F(tuint32 value) = 0;
    // Message waits and notify waits whose result is a word of the answer; 4 without one.
    virtual int Query0D01(std::span<const std::uint8_t> payload) = 0;
    virtual int Query0D03(std::span<const std::uint8_t> payload) = 0;
    virtual int Query0D04() = 0;
    virtual int Query0210(std::span<const std::uint8_t> payload) = 0;

protected:
    // Slot 31; sessions end through Release().
    virtual ~CNetDevice() = default;
};

// Releases a session when it goes out of scope.
struct SessionReleaser
{
    void operator()(CNetDevice* session) const { session->Release(); }
};
using SessionHandle = std::unique_ptr<CNetDevice, SessionReleaser>;

} // namespace galvorn::device
