// Request/reply round trips over loopback with 61440-byte request bodies (the size of
// one import chunk): through a device session against the simulator's device face, and
// the same exchange written as a bare blocking socket loop, which is the bound.
// Run inside a private network namespace (tests/netns/run-in-netns.sh).

#include "common/swl_connectproc.h"
#include "common/swl_tcplink.h"
#include "device/commandids.h"
#include "device/netdvsdevice.h"
#include "tools/devsim/deviceface.h"
#include "tools/devsim/reactorthread.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace galvorn;

constexpr std::size_t kChunk = 61440;
constexpr std::size_t kFrameHeader = 8;
constexpr std::size_t kCommandHeader = 16;

// The simulator's device face on a thread of its own.
class Camera
{
public:
    Camera() : face_(devsim::DeviceFaceSettings{}, thread_.reactor())
    {
        std::string error;
        if (!face_.open(error))
            std::abort();
        thread_.start();
    }
    ~Camera() { thread_.stop(); }
    std::uint16_t port() const { return face_.port(); }

private:
    devsim::ReactorThread thread_;
    devsim::DeviceFace face_;
};

// Counts import-chunk replies as the owner of a session.
struct ReplyCounter
{
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t replies = 0;

    static int callback(void* context, device::CNetDevice*, tint32 type, tint32, const void*,
                        tuint32)
    {
        if (type != device::CALLBACK_FACE_IMPORT_DATA)
            return 0;
        auto* counter = static_cast<ReplyCounter*>(context);
        {
            std::lock_guard lock(counter->mutex);
            ++counter->replies;
        }
        counter->changed.notify_one();
        return 0;
    }
};

void BM_SessionRoundTrip(benchmark::State& state)
{
    Camera camera;
    ReplyCounter counter;
    common::CSwlConnectProc connector("127.0.0.1", camera.port());
    SWL_socket_t sock = connector.Connect(3000);
    std::vector<std::uint8_t> greeting(device::DeviceGreeting::kSize);
    {
        common::CSwlTcpLink link(sock);
        if (link.RecvExactTimed(greeting, 2000) != 0)
            std::abort();
        sock = link.Detach();
    }
    int error = 0;
    device::SessionHandle session(
        device::CreateSession(sock, greeting, &ReplyCounter::callback, &counter, error));
    device::DEVICE_INFO info;
    if (!session || session->Login("admin", "123456", info) != 0)
        std::abort();

    const std::vector<std::uint8_t> chunk(kChunk, 0x5A);
    std::uint64_t expected = 0;
    for (auto _ : state) {
        session->SendCommand(device::CMD_FACE_IMPORT_DATA, chunk);
        ++expected;
        std::unique_lock lock(counter.mutex);
        counter.changed.wait(lock, [&] { return counter.replies == expected; });
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

bool readAll(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The same exchange with nothing in between: one blocking write of the request frame,
// one blocking read of the 32-byte reply frame; the peer reads the request and answers.
void BM_BareSocketRoundTrip(benchmark::State& state)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);

    const std::size_t requestSize = kFrameHeader + kCommandHeader + kChunk;
    const std::size_t replySize = kFrameHeader + kCommandHeader + 8;
    std::thread peer([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        noDelay(fd);
        std::vector<std::uint8_t> request(requestSize);
        const std::vector<std::uint8_t> reply(replySize, 0x11);
        while (readAll(fd, request.data(), request.size()) &&
               writeAll(fd, reply.data(), reply.size())) {
        }
        ::close(fd);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), size);
    noDelay(fd);
    const std::vector<std::uint8_t> request(requestSize, 0x5A);
    std::vector<std::uint8_t> reply(replySize);
    for (auto _ : state) {
        if (!writeAll(fd, request.data(), request.size()) ||
            !readAll(fd, reply.data(), reply.size()))
            std::abort();
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    peer.join();
    ::close(listener);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

} // namespace

BENCHMARK(BM_SessionRoundTrip)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareSocketRoundTrip)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
