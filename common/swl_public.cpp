#include "common/swl_public.h"

#include "platform/debuglog.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace {

#define SWL_REPORT_ERROR() galvorn::platform::debugSystemError(__FILE__, __LINE__)

using Clock = std::chrono::steady_clock;

int connectOutcome(int error)
{
    if (error == 0)
        return SWL_CONNECTED;
    errno = error;
    return error == ECONNREFUSED ? SWL_REFUSED : SWL_FAILED;
}

} // namespace

SWL_socket_t SWL_CreateSocket(int domain, int type, int protocol)
{
    SWL_socket_t sock = ::socket(domain, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
    if (sock < 0) {
        SWL_REPORT_ERROR();
        return SWL_INVALID_SOCKET;
    }
    const int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        SWL_REPORT_ERROR();
        SWL_CloseSocket(sock);
        return SWL_INVALID_SOCKET;
    }
    return sock;
}

int SWL_Connect(SWL_socket_t sock, const sockaddr* peer, socklen_t length, int timeoutMs)
{
    if (::connect(sock, peer, length) == 0 || errno == EISCONN)
        return SWL_CONNECTED;
    if (errno != EINPROGRESS && errno != EALREADY && errno != EINTR)
        return connectOutcome(errno);
    if (timeoutMs == 0)
        return SWL_TIMED_OUT;
    return SWL_WaitWritable(sock, timeoutMs);
}

int SWL_WaitWritable(SWL_socket_t sock, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{sock, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            SWL_REPORT_ERROR();
            return SWL_FAILED;
        }
        if (ready == 0)
            return SWL_TIMED_OUT;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return connectOutcome(errno);
        return connectOutcome(error);
    }
}

int SWL_Bind(SWL_socket_t sock, const sockaddr* address, socklen_t length)
{
    return ::bind(sock, address, length);
}

ssize_t SWL_Send(SWL_socket_t sock, const void* buffer, std::size_t length)
{
    return ::send(sock, buffer, length, MSG_NOSIGNAL);
}

ssize_t SWL_Recv(SWL_socket_t sock, void* buffer, std::size_t length, int flags)
{
    return ::recv(sock, buffer, length, flags);
}

ssize_t SWL_SendVector(SWL_socket_t sock, std::span<const iovec> pieces, int flags)
{
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(pieces.data());
    message.msg_iovlen = pieces.size();
    return ::sendmsg(sock, &message, MSG_NOSIGNAL | flags);
}

int SWL_Shutdown(SWL_socket_t sock, int how)
{
    return ::shutdown(sock, how);
}

int SWL_CloseSocket(SWL_socket_t& sock)
{
    if (sock == SWL_INVALID_SOCKET)
        return -1;
    const int result = ::close(sock);
    sock = SWL_INVALID_SOCKET;
    if (result != 0) {
        SWL_REPORT_ERROR();
        return -1;
    }
    return 0;
}

int SWL_SetNoDelay(SWL_socket_t sock)
{
    const int on = 1;
    return ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SWL_IsWouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

bool SWL_LocalAddress(SWL_socket_t sock, unsigned& address)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        local.sin_family != AF_INET)
        return false;
    address = ntohl(local.sin_addr.s_addr);
    return true;
}
