#include "searchlib/searchsocket.h"

#include "searchlib/wire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <unistd.h>

namespace galvorn::searchlib {

namespace {

// Datagrams one recvmmsg call reads at most.
constexpr std::size_t kReceiveBatch = 32;
// One byte more than the largest datagram, so that a longer one shows as too large.
constexpr std::size_t kSlotBytes = wire::kMaxDatagram + 1;
constexpr std::size_t kControlBytes = CMSG_SPACE(sizeof(std::uint32_t));
constexpr std::size_t kControlWords =
    (kControlBytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);

bool setUp(int fd)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const unsigned char ttl = wire::kMulticastTtl;
    // Cameras simulated on this host answer a probe only if it loops back.
    const unsigned char loop = 1;
    const int on = 1;
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
           ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
           ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;
}

} // namespace

std::unique_ptr<SearchSocket> SearchSocket::open()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    if (!setUp(fd)) {
        ::close(fd);
        return nullptr;
    }
    try {
        return std::unique_ptr<SearchSocket>(new SearchSocket(fd));
    } catch (...) {
        ::close(fd);
        throw;
    }
}

SearchSocket::SearchSocket(int fd)
    : fd_(fd), messages_(kReceiveBatch), parts_(kReceiveBatch),
      buffers_(kReceiveBatch * kSlotBytes), controls_(kReceiveBatch * kControlWords)
{}

SearchSocket::~SearchSocket()
{
    ::close(fd_);
}

void SearchSocket::sendProbe(std::span<const std::uint8_t> probe,
                             const std::vector<platform::Ipv4Interface>& interfaces,
                             int maxInterfaces)
{
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_addr.s_addr = htonl(wire::kGroup);
    group.sin_port = htons(wire::kPort);
    int sent = 0;
    for (const auto& netif : interfaces) {
        if (sent++ == maxInterfaces)
            break;
        ip_mreqn via{};
        via.imr_address.s_addr = htonl(netif.address);
        via.imr_ifindex = static_cast<int>(netif.index);
        if (::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0)
            continue;
        ::sendto(fd_, probe.data(), probe.size(), 0, reinterpret_cast<const sockaddr*>(&group),
                 sizeof group);
    }
}

std::size_t SearchSocket::receive(std::size_t limit, const Datagram& handle)
{
    const std::size_t batch = std::min(limit, kReceiveBatch);
    for (std::size_t i = 0; i < batch; ++i) {
        parts_[i] = {buffers_.data() + i * kSlotBytes, kSlotBytes};
        msghdr& header = messages_[i].msg_hdr;
        header = {};
        header.msg_iov = &parts_[i];
        header.msg_iovlen = 1;
        header.msg_control = controls_.data() + i * kControlWords;
        header.msg_controllen = kControlWords * sizeof(std::uint64_t);
        messages_[i].msg_len = 0;
    }
    // MSG_TRUNC makes each length the datagram's full one, not what fitted.
    const int count = ::recvmmsg(fd_, messages_.data(), static_cast<unsigned>(batch),
                                 MSG_DONTWAIT | MSG_TRUNC, nullptr);
    if (count <= 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        mmsghdr& message = messages_[static_cast<std::size_t>(i)];
        noteDropCount(message.msg_hdr);
        const std::size_t length = std::min<std::size_t>(message.msg_len, kSlotBytes);
        handle({buffers_.data() + static_cast<std::size_t>(i) * kSlotBytes, length});
    }
    return static_cast<std::size_t>(count);
}

// The kernel sends its drop count with a datagram only when it changed; it counts up
// from 0 and wraps at 32 bits.
void SearchSocket::noteDropCount(msghdr& header)
{
    for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(&header, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SO_RXQ_OVFL ||
            part->cmsg_len < CMSG_LEN(sizeof(std::uint32_t)))
            continue;
        std::uint32_t count = 0;
        std::memcpy(&count, CMSG_DATA(part), sizeof count);
        dropped_ += static_cast<std::uint32_t>(count - lastDropCount_);
        lastDropCount_ = count;
    }
}

int SearchSocket::resizeReceiveBuffer(int bytes)
{
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return -1;
    return granted;
}

} // namespace galvorn::searchlib
