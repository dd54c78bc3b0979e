#include "tools/devsim/searchface.h"

#include "platform/netif.h"
#include "searchlib/wire.h"
#include "tools/devsim/camera.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::devsim {

namespace wire = searchlib::wire;

SearchFace::SearchFace(const Camera& camera, Reactor& reactor)
    : camera_(camera), reactor_(reactor), random_(std::random_device{}())
{}

SearchFace::~SearchFace()
{
    for (const auto& [serial, timer] : pending_)
        reactor_.cancel(timer);
    if (fd_ < 0)
        return;
    reactor_.unwatch(fd_);
    ::close(fd_);
}

bool SearchFace::open(std::string& error)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error = std::string("search socket: ") + std::strerror(errno);
        return false;
    }
    // Every camera of the process listens on the same group and port.
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(wire::kGroup);
    local.sin_port = htons(wire::kPort);
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = std::string("search bind: ") + std::strerror(errno);
        return false;
    }
    int joined = 0;
    for (const auto& netif : platform::multicastInterfaces()) {
        ip_mreqn membership{};
        membership.imr_multiaddr.s_addr = htonl(wire::kGroup);
        membership.imr_ifindex = static_cast<int>(netif.index);
        if (::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0)
            ++joined;
    }
    if (joined == 0) {
        error = "no multicast-capable interface to listen on";
        return false;
    }
    reactor_.watch(fd_, POLLIN, [this](short) { onReadable(); });
    return true;
}

void SearchFace::onReadable()
{
    std::vector<std::uint8_t> buffer(wire::kMaxDatagram + 1);
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length =
            ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0)
            return;
        const auto size = std::min(static_cast<std::size_t>(length), buffer.size());
        wire::Probe probe;
        if (wire::decodeProbe({buffer.data(), size}, probe) != wire::Status::Ok ||
            from.sin_family != AF_INET)
            continue;
        if (probe.answerDelayMs == 0)
            answer(probe, from);
        else
            answerLater(probe, from);
    }
}

void SearchFace::answerLater(const wire::Probe& probe, const sockaddr_in& to)
{
    const int longest = std::min(probe.answerDelayMs, wire::kMaxAnswerDelayMs);
    const std::chrono::milliseconds delay{std::uniform_int_distribution<int>(0, longest)(random_)};
    const std::uint64_t serial = ++answersScheduled_;
    pending_[serial] = reactor_.runAt(Reactor::Clock::now() + delay, [this, probe, to, serial] {
        pending_.erase(serial);
        answer(probe, to);
    });
}

// Answers with the camera's state as of now; a camera silenced meanwhile stays silent.
void SearchFace::answer(const wire::Probe& probe, const sockaddr_in& to)
{
    if (camera_.silenced())
        return;
    wire::Answer reply;
    reply.nonce = probe.nonce;
    reply.mac = camera_.profile().mac;
    reply.xml = camera_.answerXml();
    reply.version = wire::answerVersionFor(probe);
    std::vector<std::uint8_t> datagram;
    if (wire::encodeAnswer(reply, datagram) == wire::Status::Ok)
        send(datagram, to);
}

// Sends from the camera's bind address: the socket itself is bound to the group.
void SearchFace::send(const std::vector<std::uint8_t>& datagram, const sockaddr_in& to)
{
    iovec part{const_cast<std::uint8_t*>(datagram.data()), datagram.size()};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(camera_.profile().bindAddress);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    // A lost answer is repeated at the next probe, like on a real link.
    ::sendmsg(fd_, &message, MSG_DONTWAIT);
}

} // namespace galvorn::devsim
