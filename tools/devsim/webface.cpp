#include "tools/devsim/webface.h"

#include "support/xmldocument.h"
#include "tools/devsim/camera.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::devsim {

namespace {

// A request larger than this is answered without reading the rest.
constexpr std::size_t kMaxRequest = 4096;
constexpr int kListenBacklog = 16;

std::string httpResponse(const std::string& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

WebFace::~WebFace()
{
    while (!connections_.empty())
        close(connections_.begin()->first);
    if (listenFd_ < 0)
        return;
    reactor_.unwatch(listenFd_);
    ::close(listenFd_);
}

bool WebFace::open(std::string& error)
{
    const CameraProfile& profile = camera_.profile();
    const std::uint16_t port = profile.port(Field::HttpPort);
    if (port == 0)
        return true;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(profile.bindAddress);
    local.sin_port = htons(port);
    if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listenFd_, kListenBacklog) != 0) {
        error = "web face of " + profile.mac.text() + " on port " + std::to_string(port) + ": " +
                std::strerror(errno);
        return false;
    }
    reactor_.watch(listenFd_, POLLIN, [this](short) { onAccept(); });
    return true;
}

std::string WebFace::page() const
{
    const CameraProfile& profile = camera_.profile();
    const std::string name = XmlDocument::escapeText(profile.value(Field::DevName));
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + name +
           "</title></head>\n<body><h1>" + name + "</h1>\n<p>" +
           XmlDocument::escapeText(profile.value(Field::ProductSeries)) + " " +
           XmlDocument::escapeText(profile.value(Field::ProductModel)) + ", MAC " +
           profile.mac.text() + ", software " +
           XmlDocument::escapeText(profile.value(Field::SoftwareVer)) +
           "</p>\n<p>Simulated camera.</p></body></html>\n";
}

void WebFace::onAccept()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        connections_[fd] = Connection{};
        reactor_.watch(fd, POLLIN, [this, fd](short revents) { onConnection(fd, revents); });
    }
}

void WebFace::onConnection(int fd, short revents)
{
    Connection& connection = connections_[fd];
    if (connection.response.empty()) {
        char chunk[1024];
        const ssize_t length = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (length > 0)
            connection.request.append(chunk, static_cast<std::size_t>(length));
        const bool complete = connection.request.find("\r\n\r\n") != std::string::npos;
        if (length > 0 && !complete && connection.request.size() < kMaxRequest)
            return;
        if (length < 0 || (length == 0 && connection.request.empty())) {
            close(fd);
            return;
        }
        connection.response = httpResponse(page());
        reactor_.change(fd, POLLOUT);
        return;
    }
    if (revents & (POLLERR | POLLHUP)) {
        close(fd);
        return;
    }
    const ssize_t sent =
        ::send(fd, connection.response.data() + connection.sent,
               connection.response.size() - connection.sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (sent > 0)
        connection.sent += static_cast<std::size_t>(sent);
    if (sent <= 0 || connection.sent == connection.response.size())
        close(fd);
}

void WebFace::close(int fd)
{
    reactor_.unwatch(fd);
    connections_.erase(fd);
    ::close(fd);
}

} // namespace galvorn::devsim
