#include "bench/stopwaitclient.h"

#include "common/framereader.h"
#include "common/wirebuffer.h"
#include "device/commandheader.h"
#include "device/commandids.h"
#include "device/facetransferwire.h"
#include "device/greeting.h"
#include "device/loginmessage.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace galvorn::bench {

namespace {

using namespace galvorn::device;

bool readAll(int fd, std::span<std::uint8_t> out)
{
    while (!out.empty()) {
        const ssize_t got = ::recv(fd, out.data(), out.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out = out.subspan(static_cast<std::size_t>(got));
    }
    return true;
}

std::vector<std::uint8_t> word(std::uint32_t value)
{
    common::WireWriter writer(4);
    writer.u32(value);
    return writer.take();
}

// The result word of a start, chunk or end reply, then the transfer id; false for a
// refusal or a short reply.
bool accepted(std::span<const std::uint8_t> payload, std::uint32_t* transferId = nullptr)
{
    common::WireReader reader(payload);
    const std::uint32_t result = reader.u32();
    const std::uint32_t id = reader.u32();
    if (transferId)
        *transferId = id;
    return reader.ok() && result == 0;
}

} // namespace

StopWaitClient::~StopWaitClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool StopWaitClient::open(const std::string& address, int port, std::string_view user,
                          std::string_view password)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1 ||
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0)
        return false;
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::array<std::uint8_t, device::DeviceGreeting::kSize> bytes{};
    device::DeviceGreeting greeting;
    if (!readAll(fd_, bytes) || !device::ReadGreeting(bytes, greeting))
        return false;
    const std::vector<std::uint8_t> login =
        device::BuildLoginPayload(greeting, user, password, platform::MacBytes{}, 1);
    if (!send(device::CMD_LOGIN, login))
        return false;
    std::uint32_t command = 0;
    const std::span<const std::uint8_t> reply = receive(command);
    return ok_ && command == device::REPLY_LOGIN_ACCEPTED && !reply.empty();
}

bool StopWaitClient::send(std::uint32_t command, std::span<const std::uint8_t> head,
                          std::span<const std::uint8_t> data)
{
    device::CommandHeader header;
    header.command = command;
    header.payloadLength = static_cast<std::uint32_t>(head.size() + data.size());
    const auto commandHeader = device::EncodeCommandHeader(header);
    const auto frame = common::encodeFrameHeader(static_cast<std::uint32_t>(commandHeader.size()) +
                                                 header.payloadLength);
    iovec pieces[4] = {{const_cast<std::uint8_t*>(frame.data()), frame.size()},
                       {const_cast<std::uint8_t*>(commandHeader.data()), commandHeader.size()},
                       {const_cast<std::uint8_t*>(head.data()), head.size()},
                       {const_cast<std::uint8_t*>(data.data()), data.size()}};
    std::span<iovec> left(pieces, data.empty() ? 3 : 4);
    while (!left.empty()) {
        const ssize_t sent = ::writev(fd_, left.data(), static_cast<int>(left.size()));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return false;
        auto done = static_cast<std::size_t>(sent);
        while (!left.empty() && done >= left.front().iov_len) {
            done -= left.front().iov_len;
            left = left.subspan(1);
        }
        if (!left.empty()) {
            left.front().iov_base = static_cast<std::uint8_t*>(left.front().iov_base) + done;
            left.front().iov_len -= done;
        }
    }
    return true;
}

std::span<const std::uint8_t> StopWaitClient::receive(std::uint32_t& command)
{
    for (;;) {
        const std::size_t held = end_ - begin_;
        if (held >= common::Frame::kHeaderSize) {
            common::WireReader reader(std::span<const std::uint8_t>(rx_).subspan(begin_ + 4, 4));
            const std::uint32_t length = reader.u32();
            if (length == common::Frame::kKeepAlive) {
                begin_ += common::Frame::kHeaderSize;
                continue;
            }
            if (length > rx_.size() - common::Frame::kHeaderSize) {
                ok_ = false;
                return {};
            }
            if (held >= common::Frame::kHeaderSize + length) {
                const auto body = std::span<const std::uint8_t>(rx_).subspan(
                    begin_ + common::Frame::kHeaderSize, length);
                begin_ += common::Frame::kHeaderSize + length;
                const auto message = device::ReadDeviceMessage(body);
                if (!message) {
                    ok_ = false;
                    return {};
                }
                command = message->header.command;
                return message->payload;
            }
        }
        // Room for the rest of the frame: what is held moves to the front.
        std::copy(rx_.begin() + static_cast<std::ptrdiff_t>(begin_),
                  rx_.begin() + static_cast<std::ptrdiff_t>(end_), rx_.begin());
        end_ = held;
        begin_ = 0;
        const ssize_t got = ::recv(fd_, rx_.data() + end_, rx_.size() - end_, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok_ = false;
            return {};
        }
        end_ += static_cast<std::size_t>(got);
    }
}

bool StopWaitClient::start(std::uint32_t direction, std::uint32_t& transferId)
{
    common::WireWriter writer(4 + kLibraryPasswordField);
    writer.u32(direction);
    writer.zeros(kLibraryPasswordField);
    if (!send(device::CMD_FACE_TRANSFER_START, writer.data()))
        return false;
    std::uint32_t command = 0;
    return accepted(receive(command), &transferId);
}

bool StopWaitClient::end(std::uint32_t transferId)
{
    if (!send(device::CMD_FACE_TRANSFER_END, word(transferId)))
        return false;
    std::uint32_t command = 0;
    return accepted(receive(command));
}

std::int64_t StopWaitClient::exportTo(const std::string& path)
{
    std::uint32_t transferId = 0;
    if (!start(kDirectionExport, transferId))
        return -1;
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0)
        return -1;
    const std::vector<std::uint8_t> request = word(transferId);
    std::int64_t written = 0;
    bool done = false;
    while (!done) {
        std::uint32_t command = 0;
        if (!send(device::CMD_FACE_EXPORT_DATA, request))
            break;
        common::WireReader reader(receive(command));
        reader.skip(4);
        const std::uint32_t state = reader.u32();
        reader.skip(8);
        const std::uint32_t length = reader.u32();
        const std::span<const std::uint8_t> data = reader.bytes(length);
        if (!reader.ok() || state == kStateFailed ||
            ::pwrite(file, data.data(), data.size(), written) != static_cast<ssize_t>(length))
            break;
        written += length;
        done = state == kStateEnd;
    }
    const bool synced = ::fsync(file) == 0;
    ::close(file);
    return done && synced && end(transferId) ? written : -1;
}

bool StopWaitClient::importFrom(const std::string& path, std::uint64_t offset, std::size_t chunk)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    const off_t size = ::lseek(file, 0, SEEK_END);
    std::uint32_t transferId = 0;
    bool done = size >= 0 && start(kDirectionImport, transferId);
    std::vector<std::uint8_t> data(chunk);
    const auto total = static_cast<std::uint64_t>(std::max<off_t>(size, 0));
    for (bool last = false; done && !last; offset += chunk) {
        last = offset + chunk > total;
        const std::size_t length = last ? static_cast<std::size_t>(total - offset) : chunk;
        common::WireWriter head(kChunkHeadSize);
        head.u32(transferId);
        head.u32(last ? kChunkLast : kChunkMore);
        head.u32(static_cast<std::uint32_t>(length));
        std::uint32_t command = 0;
        done = ::pread(file, data.data(), length, static_cast<off_t>(offset)) ==
                   static_cast<ssize_t>(length) &&
               send(device::CMD_FACE_IMPORT_DATA, head.data(), std::span(data).first(length)) &&
               accepted(receive(command));
    }
    ::close(file);
    return done && end(transferId);
}

} // namespace galvorn::bench
