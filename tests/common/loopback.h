#pragma once

#include "testkit/privatenetns.h"
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Loopback helpers for the socket tests. They run only inside the private network
// namespace that the test runner creates (GALVORN_NETNS is set there).

#define REQUIRE_PRIVATE_NETNS()                                                                    \
    do {                                                                                           \
        if (!testnet::inPrivateNetns())                                                            \
            GTEST_SKIP() << "runs only in a private network namespace";                            \
    } while (0)

namespace testnet {

using galvorn::testing::inPrivateNetns;
using galvorn::testing::runIp;

// An interface with a given MAC and one address (one end of a veth pair whose other end
// stays in the namespace too), in the private namespace; removed at the end of the scope.
class TestInterface
{
public:
    TestInterface(std::string name, const std::string& mac, const std::string& address)
        : name_(std::move(name))
    {
        ok_ = runIp({"link", "add", name_, "address", mac, "type", "veth", "peer", "name",
                     name_ + "p"}) &&
              runIp({"addr", "add", address, "dev", name_}) &&
              runIp({"link", "set", name_ + "p", "up"}) && runIp({"link", "set", name_, "up"});
    }
    ~TestInterface() { runIp({"link", "del", name_}); }
    TestInterface(const TestInterface&) = delete;
    TestInterface& operator=(const TestInterface&) = delete;

    bool ok() const { return ok_; }

private:
    std::string name_;
    bool ok_ = false;
};

inline sockaddr_in loopbackAddress(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A listening socket on 127.0.0.1 at an ephemeral port.
class Listener
{
public:
    explicit Listener(int backlog = 16)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopbackAddress(0);
        socklen_t size = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(fd_, backlog) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            ADD_FAILURE() << "listener: " << std::strerror(errno);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    // Blocks until a connection arrives; -1 after timeoutMs.
    int accept(int timeoutMs = 5000, sockaddr_in* peer = nullptr)
    {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) != 1)
            return -1;
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&from), &size, SOCK_CLOEXEC);
        if (peer)
            *peer = from;
        return fd;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A blocking client socket connected to 127.0.0.1:port, or -1.
inline int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Both ends of one loopback TCP connection: `near` is non-blocking (for the code under
// test), `far` is blocking (for the test's own peer).
struct Pair
{
    int near = -1;
    int far = -1;
};

inline Pair connectedPair()
{
    Listener listener;
    Pair pair;
    pair.far = connectTo(listener.port());
    pair.near = listener.accept();
    ::fcntl(pair.near, F_SETFL, ::fcntl(pair.near, F_GETFL) | O_NONBLOCK);
    return pair;
}

inline bool writeAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

inline bool writeAll(int fd, const std::vector<std::uint8_t>& data)
{
    return writeAll(fd, data.data(), data.size());
}

// Reads exactly `size` bytes, waiting at most timeoutMs for each piece. Empty on failure.
inline std::vector<std::uint8_t> readExactly(int fd, std::size_t size, int timeoutMs = 5000)
{
    std::vector<std::uint8_t> data(size);
    std::size_t filled = 0;
    while (filled < size) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) != 1)
            return {};
        const ssize_t got = ::recv(fd, data.data() + filled, size - filled, 0);
        if (got <= 0)
            return {};
        filled += static_cast<std::size_t>(got);
    }
    return data;
}

// Little-endian stream bytes written by hand, apart from the code under test.
inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline std::uint32_t getU32(const std::uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

inline std::vector<std::uint8_t> frameBytes(const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> out = {'1', '1', '1', '1'};
    putU32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<std::uint8_t> keepAliveBytes()
{
    return {'1', '1', '1', '1', 0, 0, 0, 0};
}

struct Fragment
{
    std::uint32_t id, count, total, number, channel;
    std::vector<std::uint8_t> bytes;
};

inline std::vector<std::uint8_t> fragmentBytes(const Fragment& fragment)
{
    std::vector<std::uint8_t> out = {'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0xFF};
    for (const std::uint32_t word :
         {fragment.id, fragment.count, fragment.total, fragment.number,
          static_cast<std::uint32_t>(fragment.bytes.size()), fragment.channel})
        putU32(out, word);
    out.insert(out.end(), fragment.bytes.begin(), fragment.bytes.end());
    return out;
}

inline std::vector<std::uint8_t> patterned(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return data;
}

inline std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

using Clock = std::chrono::steady_clock;

inline long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace testnet
