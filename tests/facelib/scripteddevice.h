#pragma once

#include "common/framereader.h"
#include "device/commandheader.h"
#include "device/commandids.h"
#include "device/greeting.h"

#include <atomic>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A device whose answers a test writes by hand, on the far end of a socket pair: it
// accepts any login and answers every other request with what the script returns for
// it, so that a test can send the replies no well-behaved camera would. No network.
// After kMaxAnswers requests of one command it falls silent, so that a client that would
// ask for ever waits out its time limit instead.
class ScriptedDevice
{
public:
    struct Reply
    {
        std::uint32_t command = 0;
        std::vector<std::uint8_t> payload;
    };
    // The replies to one request: its command, its payload, and how many requests of the
    // same command came before it.
    using Script = std::function<std::vector<Reply>(
        std::uint32_t command, std::span<const std::uint8_t> payload, std::size_t earlier)>;

    static constexpr std::size_t kMaxAnswers = 100;

    explicit ScriptedDevice(Script script) : script_(std::move(script))
    {
        int ends[2] = {-1, -1};
        // The session's end is non-blocking, as the connector hands its sockets over.
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        session_ = ends[0];
        device_ = ends[1];
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedDevice()
    {
        ::shutdown(device_, SHUT_RDWR);
        thread_.join();
        ::close(device_);
    }
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    // The session's end of the pair; CreateSession takes it over.
    int sessionSocket() const { return session_; }

    // The greeting of a protocol-3 device that takes plain names.
    static std::vector<std::uint8_t> greeting()
    {
        std::vector<std::uint8_t> bytes(galvorn::device::DeviceGreeting::kSize);
        bytes[12] = galvorn::device::DeviceGreeting::kProtocolVersion;
        return bytes;
    }

    std::size_t requests(std::uint32_t command) const
    {
        const std::lock_guard guard(lock_);
        const auto found = counts_.find(command);
        return found == counts_.end() ? 0 : found->second;
    }

    // Requests that had begun to arrive before the reply to the one before them left: a
    // client that keeps one request in flight makes none.
    std::size_t overlaps() const
    {
        const std::lock_guard guard(lock_);
        return overlaps_;
    }

    static std::vector<std::uint8_t> words(std::initializer_list<std::uint32_t> values)
    {
        std::vector<std::uint8_t> bytes;
        for (const std::uint32_t value : values)
            for (int shift = 0; shift < 32; shift += 8)
                bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        return bytes;
    }

private:
    void serve()
    {
        galvorn::common::FrameReader reader;
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(device_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            std::span<const std::uint8_t> rest(buffer, static_cast<std::size_t>(got));
            while (!rest.empty()) {
                std::size_t used = 0;
                const auto event = reader.feed(rest, used);
                rest = rest.subspan(used);
                if (event == galvorn::common::FrameReader::Event::Message)
                    answer(reader.takeMessage(), rest);
            }
        }
    }

    // True when a request frame (not a keep-alive) follows: in `rest`, the bytes of the
    // last read not yet handled, or in the socket.
    bool requestWaiting(std::span<const std::uint8_t> rest) const
    {
        std::vector<std::uint8_t> bytes(rest.begin(), rest.end());
        std::uint8_t peeked[4096];
        const ssize_t got = ::recv(device_, peeked, sizeof peeked, MSG_PEEK | MSG_DONTWAIT);
        if (got > 0)
            bytes.insert(bytes.end(), peeked, peeked + got);
        constexpr std::size_t kHeader = galvorn::common::Frame::kHeaderSize;
        for (std::size_t at = 0; at + kHeader <= bytes.size(); at += kHeader) {
            const std::uint32_t length = static_cast<std::uint32_t>(bytes[at + 4]) |
                                         static_cast<std::uint32_t>(bytes[at + 5]) << 8 |
                                         static_cast<std::uint32_t>(bytes[at + 6]) << 16 |
                                         static_cast<std::uint32_t>(bytes[at + 7]) << 24;
            if (length != galvorn::common::Frame::kKeepAlive)
                return true;
        }
        return false;
    }

    void answer(const std::vector<std::uint8_t>& message, std::span<const std::uint8_t> rest)
    {
        const auto read = galvorn::device::ReadDeviceMessage(message);
        if (!read)
            return;
        const std::uint32_t command = read->header.command;
        if (command == galvorn::device::CMD_LOGIN) {
            send({galvorn::device::REPLY_LOGIN_ACCEPTED, std::vector<std::uint8_t>(110)},
                 read->header.parameter);
            return;
        }
        std::size_t earlier = 0;
        {
            const std::lock_guard guard(lock_);
            earlier = counts_[command]++;
        }
        if (earlier >= kMaxAnswers)
            return;
        const std::vector<Reply> replies = script_(command, read->payload, earlier);
        if (requestWaiting(rest)) {
            const std::lock_guard guard(lock_);
            ++overlaps_;
        }
        for (const Reply& reply : replies)
            send(reply, read->header.parameter);
    }

    void send(const Reply& reply, std::uint32_t parameter)
    {
        galvorn::device::CommandHeader header;
        header.command = reply.command;
        header.parameter = parameter;
        header.payloadLength = static_cast<std::uint32_t>(reply.payload.size());
        const auto head = galvorn::device::EncodeCommandHeader(header);
        std::vector<std::uint8_t> body(head.begin(), head.end());
        body.insert(body.end(), reply.payload.begin(), reply.payload.end());
        const auto frame =
            galvorn::common::encodeFrameHeader(static_cast<std::uint32_t>(body.size()));
        body.insert(body.begin(), frame.begin(), frame.end());
        ::send(device_, body.data(), body.size(), MSG_NOSIGNAL);
    }

    Script script_;
    int session_ = -1;
    int device_ = -1;
    mutable std::mutex lock_;
    std::map<std::uint32_t, std::size_t> counts_;
    std::size_t overlaps_ = 0;
    std::thread thread_;
};
