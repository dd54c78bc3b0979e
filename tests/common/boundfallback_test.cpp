// The bound fallback changes process-wide state (the remembered local address), so it
// has a test binary of its own.

#include "common/swl_connectproc.h"

#include "tests/common/loopback.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using galvorn::common::ConnectLimits;
using galvorn::common::CSwlConnectProc;
using namespace testnet;

namespace {

TEST(BoundFallback, ConnectsFromAFreshBoundSocketAndIsRememberedFromThenOn)
{
    REQUIRE_PRIVATE_NETNS();
    // Accept queue full: the plain connect gets no answer and times out.
    Listener listener(0);
    std::vector<int> queued;
    for (int i = 0; i < 2; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopbackAddress(listener.port());
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        queued.push_back(fd);
    }

    CSwlConnectProc proc("127.0.0.1", listener.port());
    std::atomic<int> sock{SWL_INVALID_SOCKET};
    std::atomic<bool> connected{false};
    const auto start = Clock::now();
    std::thread connector([&] {
        sock = proc.Connect(300);
        connected = true;
    });
    // The plain connect gives up after 300 ms and the fallback pauses a second before its
    // first attempt; in between, the queue starts to be drained, and stays drained (the
    // queued clients retry their own handshakes). This is the one place where the test
    // has to follow the procedure's clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::vector<int> accepted;
    std::vector<std::uint16_t> peerPorts;
    while (!connected) {
        sockaddr_in peer{};
        const int fd = listener.accept(50, &peer);
        if (fd >= 0) {
            accepted.push_back(fd);
            peerPorts.push_back(ntohs(peer.sin_port));
        }
    }
    connector.join();
    ASSERT_GE(sock, 0);
    EXPECT_GE(msSince(start), 300 + ConnectLimits::kFallbackSleepMs);
    // The fallback's connection is in the queue by now if it was not accepted yet.
    sockaddr_in last{};
    for (int fd = listener.accept(200, &last); fd >= 0; fd = listener.accept(200, &last)) {
        accepted.push_back(fd);
        peerPorts.push_back(ntohs(last.sin_port));
    }
    EXPECT_NE(std::find(peerPorts.begin(), peerPorts.end(), ConnectLimits::kFallbackLocalPort),
              peerPorts.end());
    EXPECT_EQ(CSwlConnectProc::RememberedLocalAddress(), "127.0.0.1");
    ::close(sock);

    // A later connect goes straight to the bound procedure with the remembered address:
    // it pauses first and connects from port 9088 again.
    Listener second;
    CSwlConnectProc again("127.0.0.1", second.port());
    const auto secondStart = Clock::now();
    const int next = again.Connect(3000);
    ASSERT_GE(next, 0);
    EXPECT_GE(msSince(secondStart), ConnectLimits::kFallbackSleepMs);
    sockaddr_in peer{};
    const int secondFar = second.accept(2000, &peer);
    ASSERT_GE(secondFar, 0);
    EXPECT_EQ(ntohs(peer.sin_port), ConnectLimits::kFallbackLocalPort);
    ::close(secondFar);
    ::close(next);
    for (const int fd : queued)
        ::close(fd);
    for (const int fd : accepted)
        ::close(fd);
}

} // namespace
