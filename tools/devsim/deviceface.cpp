#include "tools/devsim/deviceface.h"

#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "tools/devsim/reactor.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace galvorn::devsim {

namespace {

using common::FrameReader;
using common::WireReader;
using common::WireWriter;

constexpr int kListenBacklog = 64;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kGreetingSize = 64;
constexpr std::size_t kCommandHeaderSize = 16;
constexpr std::uint32_t kFragmentMarker = 0xFFFFFFFF;
// Where the login payload carries the client adapter's MAC.
constexpr std::size_t kLoginMacOffset = 104;

std::string macText(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char part[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(part, sizeof part, text.empty() ? "%02x" : ":%02x", byte);
        text += part;
    }
    return text;
}

std::vector<std::uint8_t> commandBody(std::uint32_t command, std::uint32_t parameter,
                                      std::span<const std::uint8_t> payload)
{
    WireWriter writer(kCommandHeaderSize + payload.size());
    writer.u32(command);
    writer.u32(parameter);
    writer.u32(0);
    writer.u32(static_cast<std::uint32_t>(payload.size()));
    writer.bytes(payload);
    return writer.take();
}

// The frame magic "1111", or "1112" for the bad-magic fault.
std::array<std::uint8_t, 4> magic(bool bad)
{
    return {'1', '1', '1', static_cast<std::uint8_t>(bad ? '2' : '1')};
}

} // namespace

DeviceFace::DeviceFace(DeviceFaceSettings settings, Reactor& reactor)
    : settings_(std::move(settings)), reactor_(reactor), readBuffer_(kReadChunk)
{}

DeviceFace::~DeviceFace()
{
    while (!connections_.empty())
        close(connections_.begin()->first);
    if (listenFd_ >= 0) {
        reactor_.unwatch(listenFd_);
        ::close(listenFd_);
    }
    if (recording_)
        std::fclose(recording_);
}

bool DeviceFace::open(std::string& error)
{
    if (!settings_.recordPath.empty()) {
        recording_ = std::fopen(settings_.recordPath.c_str(), "a");
        if (!recording_) {
            error = "cannot open the recording file " + settings_.recordPath;
            return false;
        }
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    address.sin_addr.s_addr =
        htonl(settings_.bindAddress != 0 ? settings_.bindAddress : INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listenFd_, kListenBacklog) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = std::string("device port: ") + std::strerror(errno);
        return false;
    }
    port_ = ntohs(address.sin_port);
    reactor_.watch(listenFd_, POLLIN, [this](short) { onAccept(); });
    return true;
}

void DeviceFace::onAccept()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        connection->serial = nextSerial_++;
        connection->lastHeard = Clock::now();
        Connection& added = *connection;
        connections_[fd] = std::move(connection);
        reactor_.watch(fd, POLLIN, [this, fd](short revents) { onConnection(fd, revents); });
        reactor_.watch(added.timerFd, POLLIN, [this, fd](short) { onTimer(fd); });
        if (settings_.greetingFault != GreetingFault::Missing) {
            std::vector<std::uint8_t> bytes = greeting();
            if (settings_.greetingFault == GreetingFault::Short)
                bytes.resize(std::min(settings_.greetingLength, bytes.size()));
            // The greeting is not a reply: it leaves at once, whatever the delay.
            added.out.insert(added.out.end(), bytes.begin(), bytes.end());
            flush(added);
        }
        if (added.dead)
            close(fd);
        else
            armTimer(added);
    }
}

std::vector<std::uint8_t> DeviceFace::greeting() const
{
    const LoginAccount& account = settings_.account;
    WireWriter writer(kGreetingSize);
    writer.zeros(4);
    writer.u32(0x04);
    writer.u32(0x08);
    writer.u32(settings_.protocolVersion);
    writer.u32(0x10);
    writer.zeros(4);
    writer.u32(account.cipherType);
    writer.bytes(account.cipherKey);
    writer.zeros(45 - writer.size());
    writer.u8(static_cast<std::uint8_t>(account.challenge));
    writer.u8(static_cast<std::uint8_t>(account.challenge >> 8));
    writer.u8(static_cast<std::uint8_t>(account.challenge >> 16));
    writer.zeros(52 - writer.size());
    writer.u8(account.passwordMode);
    writer.zeros(kGreetingSize - writer.size());
    return writer.take();
}

void DeviceFace::onConnection(int fd, short revents)
{
    const auto found = connections_.find(fd);
    if (found == connections_.end())
        return;
    Connection& connection = *found->second;
    if (revents & (POLLIN | POLLHUP | POLLERR))
        readFrom(connection);
    if (!connection.dead && (revents & POLLOUT))
        flush(connection);
    if (connection.dead)
        close(fd);
    else
        armTimer(connection);
}

void DeviceFace::readFrom(Connection& connection)
{
    while (!connection.dead) {
        const ssize_t got = ::recv(connection.fd, readBuffer_.data(), readBuffer_.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0) {
            connection.dead = true;
            return;
        }
        connection.lastHeard = Clock::now();
        std::span<const std::uint8_t> data(readBuffer_.data(), static_cast<std::size_t>(got));
        while (!data.empty() && !connection.dead) {
            std::size_t used = 0;
            const FrameReader::Event event = connection.reader.feed(data, used);
            data = data.subspan(used);
            switch (event) {
            case FrameReader::Event::Message:
                onMessage(connection, connection.reader.takeMessage());
                break;
            case FrameReader::Event::KeepAlive:
                if (settings_.answerKeepAlives)
                    queue(connection, frame({}));
                break;
            case FrameReader::Event::BadMagic:
            case FrameReader::Event::TooLong:
                connection.dead = true;
                break;
            case FrameReader::Event::Fragment:
            case FrameReader::Event::NeedMore:
                break;
            }
        }
        // A read that took less than it could emptied the socket; poll(2) tells of more.
        if (static_cast<std::size_t>(got) < readBuffer_.size())
            return;
    }
}

void DeviceFace::onMessage(Connection& connection, std::span<const std::uint8_t> message)
{
    WireReader reader(message);
    const std::uint32_t command = reader.u32();
    const std::uint32_t parameter = reader.u32();
    reader.skip(4);
    const std::uint32_t length = reader.u32();
    const std::span<const std::uint8_t> payload = reader.bytes(length);
    if (!reader.ok()) {
        connection.dead = true;
        return;
    }
    ++connection.messages;
    if (settings_.closeAfterMessages != 0 && connection.messages >= settings_.closeAfterMessages) {
        record(connection, command, parameter, payload, "fault=closed");
        connection.dead = true;
        return;
    }
    if (command == device::CMD_LOGIN) {
        onLogin(connection, parameter, payload);
    } else {
        // Describing a request can cost a digest of its picture: only for a recording.
        if (recording_)
            record(connection, command, parameter, payload, describeRequest(command, payload));
        if (!settings_.noReply && command != settings_.ignoreCommand)
            answer(connection, command, parameter, payload);
    }
}

void DeviceFace::answer(Connection& connection, std::uint32_t command, std::uint32_t parameter,
                        std::span<const std::uint8_t> payload)
{
    if (faceLibrary_ == nullptr || !FaceTransferService::handles(command)) {
        for (const DeviceReply& each :
             answerRequest(command, parameter, payload, connection.replies))
            reply(connection, each);
        return;
    }
    const FaceAnswer answer = faceLibrary_->answer(connection.serial, command, parameter, payload);
    for (const DeviceReply& each : answer.replies)
        reply(connection, each, answer.delay);
    if (answer.close)
        connection.dead = true;
}

void DeviceFace::onLogin(Connection& connection, std::uint32_t parameter,
                         std::span<const std::uint8_t> payload)
{
    const LoginVerdict verdict = checkLogin(settings_.account, payload);
    std::uint32_t code = 0;
    if (settings_.refuseEveryLogin != 0)
        code = settings_.refuseEveryLogin;
    else if (!verdict.accepted)
        code = settings_.wrongCredentialsCode;
    else if (settings_.maxConnections != 0 && loggedInCount() >= settings_.maxConnections)
        code = settings_.connectionLimitCode;
    std::string fields = "user=" + verdict.user + "\tmode=" + verdict.mode;
    if (payload.size() >= kLoginMacOffset + 6)
        fields += "\tmac=" + macText(payload.subspan(kLoginMacOffset, 6));
    fields += code == 0 ? "\tverdict=accepted" : "\tverdict=refused\tcode=" + std::to_string(code);
    if (!verdict.reason.empty())
        fields += "\treason=" + verdict.reason;
    record(connection, device::CMD_LOGIN, parameter, payload, fields);
    if (settings_.noReply)
        return;
    if (code != 0) {
        WireWriter refusal;
        refusal.u32(code);
        reply(connection, {device::REPLY_LOGIN_REFUSED, parameter, refusal.take()});
        return;
    }
    reply(connection, {device::REPLY_LOGIN_ACCEPTED, parameter,
                       loginAcceptedPayload(std::span<const std::uint8_t, 6>(settings_.mac))});
    connection.loggedIn = true;
    if (settings_.eventsAfterLogin) {
        for (const DeviceReply& event : deviceEvents())
            reply(connection, event);
    }
}

unsigned DeviceFace::loggedInCount() const
{
    return static_cast<unsigned>(
        std::count_if(connections_.begin(), connections_.end(),
                      [](const auto& entry) { return entry.second->loggedIn; }));
}

void DeviceFace::sendEvents()
{
    std::vector<int> dead;
    for (auto& [fd, connection] : connections_) {
        if (!connection->loggedIn)
            continue;
        for (const DeviceReply& event : deviceEvents())
            reply(*connection, event);
        if (connection->dead)
            dead.push_back(fd);
    }
    for (const int fd : dead)
        close(fd);
}

std::vector<std::uint8_t> DeviceFace::frame(std::span<const std::uint8_t> body) const
{
    WireWriter writer(8 + body.size());
    writer.bytes(magic(settings_.badMagic));
    writer.u32(static_cast<std::uint32_t>(body.size()));
    writer.bytes(body);
    return writer.take();
}

void DeviceFace::reply(Connection& connection, const DeviceReply& answer,
                       std::chrono::microseconds delay)
{
    const std::uint32_t command = settings_.unknownReplyId ? kUnknownReplyId : answer.command;
    const std::vector<std::uint8_t> body = commandBody(command, answer.parameter, answer.payload);
    // A client waiting for its login reply takes a fragment for no reply at all, so the
    // login reply always leaves whole.
    const std::size_t piece = connection.loggedIn ? settings_.fragmentSize : 0;
    if (piece == 0 || body.size() <= piece) {
        queue(connection, frame(body), delay);
        return;
    }
    const std::uint32_t count = static_cast<std::uint32_t>((body.size() + piece - 1) / piece);
    const std::uint32_t channel =
        settings_.fragmentChannel == 2 ? connection.nextChannel++ % 2 : settings_.fragmentChannel;
    const std::uint32_t id = connection.nextFragmentId++;
    for (std::uint32_t number = 1; number <= count; ++number) {
        const std::size_t from = (number - 1) * piece;
        const std::size_t size = std::min(piece, body.size() - from);
        WireWriter writer(8 + 24 + size);
        writer.bytes(magic(settings_.badMagic));
        writer.u32(kFragmentMarker);
        for (const std::uint32_t word : {id, count, static_cast<std::uint32_t>(body.size()), number,
                                         static_cast<std::uint32_t>(size), channel})
            writer.u32(word);
        writer.bytes(std::span(body).subspan(from, size));
        queue(connection, writer.take(), delay);
        if (settings_.keepAliveBetweenFragments && number < count)
            queue(connection, frame({}), delay);
    }
}

void DeviceFace::queue(Connection& connection, std::vector<std::uint8_t> bytes,
                       std::chrono::microseconds delay)
{
    delay += std::chrono::microseconds(settings_.replyDelayUs);
    if (delay.count() == 0 && connection.delayed.empty()) {
        if (connection.out.empty())
            connection.out = std::move(bytes);
        else
            connection.out.insert(connection.out.end(), bytes.begin(), bytes.end());
        flush(connection);
        return;
    }
    // The queue leaves front first, so no reply overtakes one made before it, whatever
    // delay each was given.
    connection.delayed.push_back({Clock::now() + delay, std::move(bytes)});
    armTimer(connection);
}

void DeviceFace::flush(Connection& connection)
{
    while (connection.sent < connection.out.size()) {
        const ssize_t sent = ::send(connection.fd, connection.out.data() + connection.sent,
                                    connection.out.size() - connection.sent, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (sent <= 0) {
            connection.dead = true;
            return;
        }
        connection.sent += static_cast<std::size_t>(sent);
    }
    if (connection.sent == connection.out.size()) {
        connection.out.clear();
        connection.sent = 0;
    }
    reactor_.change(connection.fd, connection.out.empty() ? POLLIN : POLLIN | POLLOUT);
}

void DeviceFace::armTimer(Connection& connection)
{
    std::optional<Clock::time_point> next;
    if (settings_.idleLimitMs != 0)
        next = connection.lastHeard + std::chrono::milliseconds(settings_.idleLimitMs);
    if (!connection.delayed.empty() && (!next || connection.delayed.front().due < *next))
        next = connection.delayed.front().due;
    itimerspec timer{};
    if (next) {
        const auto left =
            std::max<std::chrono::nanoseconds>(std::chrono::nanoseconds(1), *next - Clock::now());
        timer.it_value.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        timer.it_value.tv_nsec = static_cast<long>(left.count() % 1000000000);
    }
    ::timerfd_settime(connection.timerFd, 0, &timer, nullptr);
}

void DeviceFace::onTimer(int fd)
{
    const auto found = connections_.find(fd);
    if (found == connections_.end())
        return;
    Connection& connection = *found->second;
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t got =
        ::read(connection.timerFd, &expirations, sizeof expirations);
    const auto now = Clock::now();
    if (settings_.idleLimitMs != 0 &&
        now - connection.lastHeard >= std::chrono::milliseconds(settings_.idleLimitMs)) {
        close(fd);
        return;
    }
    while (!connection.delayed.empty() && connection.delayed.front().due <= now) {
        const std::vector<std::uint8_t>& bytes = connection.delayed.front().bytes;
        connection.out.insert(connection.out.end(), bytes.begin(), bytes.end());
        connection.delayed.pop_front();
    }
    flush(connection);
    if (connection.dead)
        close(fd);
    else
        armTimer(connection);
}

void DeviceFace::record(const Connection& connection, std::uint32_t command,
                        std::uint32_t parameter, std::span<const std::uint8_t> payload,
                        const std::string& fields)
{
    if (!recording_)
        return;
    const char* name = device::commandName(command);
    std::fprintf(recording_, "conn=%u\tcmd=0x%X\tname=%s\tparam=%u\tlength=%zu%s%s\n",
                 connection.serial, command, name ? name : "unknown", parameter, payload.size(),
                 fields.empty() ? "" : "\t", fields.c_str());
    std::fflush(recording_);
}

void DeviceFace::close(int fd)
{
    const auto found = connections_.find(fd);
    if (found == connections_.end())
        return;
    if (faceLibrary_ != nullptr)
        faceLibrary_->forget(found->second->serial);
    reactor_.unwatch(fd);
    reactor_.unwatch(found->second->timerFd);
    ::close(found->second->timerFd);
    ::close(fd);
    connections_.erase(found);
}

} // namespace galvorn::devsim
