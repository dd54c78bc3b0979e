#include "fakecamera.h"

#include "platform/netif.h"
#include "searchlib/wire.h"

#include <arpa/inet.h>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::testing {

namespace wire = searchlib::wire;

FakeCamera::FakeCamera()
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(wire::kGroup);
    local.sin_port = htons(wire::kPort);
    if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    for (const auto& netif : platform::multicastInterfaces()) {
        ip_mreqn membership{};
        membership.imr_multiaddr.s_addr = htonl(wire::kGroup);
        membership.imr_ifindex = static_cast<int>(netif.index);
        ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership);
    }
}

FakeCamera::~FakeCamera()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FakeCamera::awaitProbe(Probe& probe, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> buffer(wire::kMaxDatagram);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
            return false;
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &probe.from;
        message.msg_namelen = sizeof probe.from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = ::recvmsg(fd_, &message, 0);
        wire::Probe decoded;
        if (length < 0 || wire::decodeProbe({buffer.data(), static_cast<std::size_t>(length)},
                                            decoded) != wire::Status::Ok)
            continue;
        probe.nonce = decoded.nonce;
        probe.answerDelayMs = decoded.answerDelayMs;
        probe.version = decoded.version;
        for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
            if (h->cmsg_level == IPPROTO_IP && h->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(h), sizeof info);
                probe.interfaceIndex = info.ipi_ifindex;
            }
        }
        return true;
    }
}

bool FakeCamera::send(const Probe& probe, std::span<const std::uint8_t> datagram)
{
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr*>(&probe.from),
                    sizeof probe.from) == static_cast<ssize_t>(datagram.size());
}

} // namespace galvorn::testing
