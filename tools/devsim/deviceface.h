#pragma once

#include "common/framereader.h"
#include "tools/devsim/deviceface_replies.h"
#include "tools/devsim/deviceface_settings.h"
#include "tools/devsim/facetransfers.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace galvorn::devsim {

class Reactor;

// The camera's device protocol on its data port: the greeting, the login in all four
// modes, keep-alives, an idle watchdog, the replies to the command set, fragmented
// replies, device events, and the fault switches of DeviceFaceSettings. Every request
// is appended to the recording file when one is named.
//
// Runs on the reactor's thread and owns the listening socket, the connections and their
// timers. The settings are read when they are needed, so a change between two requests
// takes effect with the next one.
class DeviceFace
{
public:
    DeviceFace(DeviceFaceSettings settings, Reactor& reactor);
    ~DeviceFace();

    DeviceFace(const DeviceFace&) = delete;
    DeviceFace& operator=(const DeviceFace&) = delete;

    // Listens at the bind address and port. False, with the reason, when it cannot.
    bool open(std::string& error);

    // The port listened on (the ephemeral one when the settings asked for port 0).
    std::uint16_t port() const { return port_; }
    DeviceFaceSettings& settings() { return settings_; }
    // The face library that answers the face-library requests; without one they get the
    // answers of a camera with an empty library. Not owned; it outlives the face.
    void setFaceLibrary(FaceTransferService* library) { faceLibrary_ = library; }
    // Sends the two device events to every logged-in connection.
    void sendEvents();
    std::size_t connectionCount() const { return connections_.size(); }

private:
    using Clock = std::chrono::steady_clock;

    struct Pending
    {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    struct Connection
    {
        int fd = -1;
        int timerFd = -1;
        unsigned serial = 0;
        common::FrameReader reader;
        std::vector<std::uint8_t> out;
        std::size_t sent = 0;
        std::deque<Pending> delayed;
        bool loggedIn = false;
        // Set when the connection is to be closed; the reactor handler that saw it closes
        // it once the handling is done.
        bool dead = false;
        unsigned messages = 0;
        Clock::time_point lastHeard;
        ReplyState replies;
        std::uint32_t nextFragmentId = 1;
        std::uint32_t nextChannel = 0;
    };

    void onAccept();
    void onConnection(int fd, short revents);
    void onTimer(int fd);
    void readFrom(Connection& connection);
    void onMessage(Connection& connection, std::span<const std::uint8_t> message);
    void answer(Connection& connection, std::uint32_t command, std::uint32_t parameter,
                std::span<const std::uint8_t> payload);
    void onLogin(Connection& connection, std::uint32_t parameter,
                 std::span<const std::uint8_t> payload);
    // `delay` holds the reply back beyond settings_.replyDelayUs.
    void reply(Connection& connection, const DeviceReply& answer,
               std::chrono::microseconds delay = {});
    void queue(Connection& connection, std::vector<std::uint8_t> bytes,
               std::chrono::microseconds delay = {});
    void flush(Connection& connection);
    void armTimer(Connection& connection);
    void record(const Connection& connection, std::uint32_t command, std::uint32_t parameter,
                std::span<const std::uint8_t> payload, const std::string& fields);
    std::vector<std::uint8_t> frame(std::span<const std::uint8_t> body) const;
    std::vector<std::uint8_t> greeting() const;
    unsigned loggedInCount() const;
    void close(int fd);

    DeviceFaceSettings settings_;
    Reactor& reactor_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    unsigned nextSerial_ = 1;
    std::map<int, std::unique_ptr<Connection>> connections_;
    std::FILE* recording_ = nullptr;
    FaceTransferService* faceLibrary_ = nullptr;
    // Every connection reads through this one buffer; the face runs on one thread.
    std::vector<std::uint8_t> readBuffer_;
};

} // namespace galvorn::devsim
