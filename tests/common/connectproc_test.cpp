#include "common/swl_connectproc.h"

#include "tests/common/loopback.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>

using galvorn::common::ConnectLimits;
using galvorn::common::ConnectSlices;
using galvorn::common::CSwlConnectProc;
using namespace testnet;

namespace {

TEST(ConnectSlices, TimeLimitsAreCutIntoWholeSecondsAndTheRest)
{
    struct Row
    {
        int timeoutMs;
        std::vector<int> slices;
    };
    const std::vector<Row> rows = {
        {3000, {1000, 1000, 1000}},
        {2500, {1000, 1000, 500}},
        {999, {999}},
        {1000, {1000}},
        {1, {1}},
        {0, {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ConnectSlices(row.timeoutMs), row.slices) << row.timeoutMs;
}

// A listener whose accept queue is full: further connects get no answer at all.
struct FullListener
{
    Listener listener{0};
    std::vector<int> queued;

    FullListener()
    {
        // A backlog of 0 still queues one connection; two make sure the queue is full.
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const sockaddr_in address = loopbackAddress(listener.port());
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            queued.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~FullListener()
    {
        for (const int fd : queued)
            ::close(fd);
    }
};

class ConnectProc : public ::testing::Test
{
protected:
    void SetUp() override { REQUIRE_PRIVATE_NETNS(); }
};

TEST_F(ConnectProc, ConnectedSocketBelongsToTheCaller)
{
    Listener listener;
    int sock = -1;
    {
        CSwlConnectProc proc("127.0.0.1", listener.port());
        sock = proc.Connect(3000);
        ASSERT_GE(sock, 0);
    }
    // Destroying the procedure left the socket open and connected.
    EXPECT_NE(::fcntl(sock, F_GETFD), -1);
    EXPECT_NE(::fcntl(sock, F_GETFL) & O_NONBLOCK, 0);
    const int far = listener.accept();
    ASSERT_GE(far, 0);
    EXPECT_EQ(::send(sock, "x", 1, MSG_NOSIGNAL), 1);
    char byte = 0;
    EXPECT_EQ(::recv(far, &byte, 1, 0), 1);
    ::close(far);
    ::close(sock);
    EXPECT_TRUE(CSwlConnectProc::RememberedLocalAddress().empty());
}

TEST_F(ConnectProc, RefusedConnectFailsAtOnceWithoutTheFallback)
{
    std::uint16_t port;
    {
        Listener closed;
        port = closed.port();
    }
    CSwlConnectProc proc("127.0.0.1", port);
    const auto start = Clock::now();
    EXPECT_EQ(proc.Connect(3000), SWL_INVALID_SOCKET);
    // Neither the slices nor the fallback's first pause were waited out.
    EXPECT_LT(msSince(start), ConnectLimits::kFallbackSleepMs);
}

TEST_F(ConnectProc, UnparsableAddressFails)
{
    CSwlConnectProc proc("not an address", 80);
    EXPECT_EQ(proc.Connect(100), SWL_INVALID_SOCKET);
}

TEST_F(ConnectProc, StopEndsTheWaitsAfterTheCurrentSlice)
{
    FullListener full;
    CSwlConnectProc proc("127.0.0.1", full.listener.port());
    const auto start = Clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        proc.RequestStop();
    });
    EXPECT_EQ(proc.Connect(10000), SWL_INVALID_SOCKET);
    stopper.join();
    const long long waited = msSince(start);
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 2500);
}

} // namespace
