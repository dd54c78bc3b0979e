#include "common/swl_tcplink.h"

#include "tests/common/allocationprobe.h"
#include "tests/common/loopback.h"

#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using galvorn::common::CSwlTcpLink;
using galvorn::common::encodeFrameHeader;
using galvorn::common::FragmentHeader;
using galvorn::common::Frame;
using galvorn::common::LinkLimits;
using galvorn::common::LinkMode;
using galvorn::common::LinkResult;
using namespace testnet;

namespace {

// Collects what a link hands to its owner.
class Owner
{
public:
    static void callback(void* context, const std::uint8_t* message, std::int32_t length)
    {
        auto* owner = static_cast<Owner*>(context);
        std::lock_guard lock(owner->mutex_);
        if (length == -1 && message == nullptr) {
            ++owner->losses_;
            owner->lossTime_ = Clock::now();
        } else {
            owner->messages_.emplace_back(message, message + length);
        }
        owner->changed_.notify_all();
    }

    bool waitForMessages(std::size_t count, int timeoutMs = 5000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return messages_.size() >= count; });
    }
    bool waitForLoss(int timeoutMs = 5000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return losses_ > 0; });
    }
    std::vector<std::vector<std::uint8_t>> messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    int losses()
    {
        std::lock_guard lock(mutex_);
        return losses_;
    }
    Clock::time_point lossTime()
    {
        std::lock_guard lock(mutex_);
        return lossTime_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<std::uint8_t>> messages_;
    int losses_ = 0;
    Clock::time_point lossTime_;
};

class TcpLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        pair_ = connectedPair();
        ASSERT_GE(pair_.near, 0);
        ASSERT_GE(pair_.far, 0);
        link_ = std::make_unique<CSwlTcpLink>(pair_.near);
    }
    void TearDown() override
    {
        link_.reset();
        if (pair_.far >= 0)
            ::close(pair_.far);
    }

    void closeFar()
    {
        ::close(pair_.far);
        pair_.far = -1;
    }

    Pair pair_;
    std::unique_ptr<CSwlTcpLink> link_;
    Owner owner_;
};

TEST_F(TcpLink, MessageLeavesAsOneFrameWithItsPiecesInOrder)
{
    const std::vector<std::uint8_t> head = patterned(16, 1);
    const std::vector<std::uint8_t> body = patterned(61440, 2);
    ASSERT_EQ(link_->SendMessage({head, body}), 0);
    const std::vector<std::uint8_t> frame = readExactly(pair_.far, 8 + 16 + 61440);
    EXPECT_EQ(frame, frameBytes(concat({head, body})));
}

TEST_F(TcpLink, SocketHasNagleTurnedOff)
{
    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(::getsockopt(pair_.near, IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
    EXPECT_NE(value, 0);
}

TEST_F(TcpLink, LargeMessageCompletesAgainstASlowReader)
{
    // Larger than the socket buffers, so that the sender has to wait for room.
    const std::vector<std::uint8_t> body = patterned(8 * 1024 * 1024, 3);
    std::vector<std::uint8_t> received;
    std::thread reader([&] { received = readExactly(pair_.far, 8 + body.size()); });
    EXPECT_EQ(link_->SendMessage(body), 0);
    reader.join();
    EXPECT_EQ(received, frameBytes(body));
}

TEST_F(TcpLink, FramesOfConcurrentSendersNeverInterleave)
{
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([this, t] {
            const std::vector<std::uint8_t> body(3000 + t * 1000, static_cast<std::uint8_t>(t));
            for (int i = 0; i < kPerThread; ++i)
                EXPECT_EQ(link_->SendMessage(body), 0);
        });
    }
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    std::vector<int> counts(kThreads, 0);
    for (int frames = 0; frames < kThreads * kPerThread;) {
        const std::vector<std::uint8_t> header = readExactly(pair_.far, 8);
        ASSERT_EQ(header.size(), 8u);
        ASSERT_EQ(std::string(header.begin(), header.begin() + 4), "1111");
        const std::uint32_t length = getU32(header.data() + 4);
        if (length == 0)
            continue;
        const std::vector<std::uint8_t> body = readExactly(pair_.far, length);
        ASSERT_EQ(body.size(), length);
        const int t = body[0];
        ASSERT_LT(t, kThreads);
        ASSERT_EQ(length, 3000u + t * 1000u);
        ASSERT_EQ(std::count(body.begin(), body.end(), body[0]), static_cast<long>(length));
        ++counts[t];
        ++frames;
    }
    for (std::thread& sender : senders)
        sender.join();
    EXPECT_EQ(counts, std::vector<int>(kThreads, kPerThread));
}

TEST_F(TcpLink, KeepAliveGoesOutAboutEverySecondWithoutTraffic)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    auto previous = Clock::now();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(readExactly(pair_.far, 8, 3000), keepAliveBytes()) << i;
        const long long interval = msSince(previous);
        previous = Clock::now();
        EXPECT_GE(interval, 700) << i;
        EXPECT_LE(interval, 1700) << i;
    }
    EXPECT_EQ(owner_.losses(), 0);
}

TEST_F(TcpLink, PeerCloseReachesTheOwnerPromptly)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    const auto closed = Clock::now();
    closeFar();
    ASSERT_TRUE(owner_.waitForLoss());
    EXPECT_LE(
        std::chrono::duration_cast<std::chrono::milliseconds>(owner_.lossTime() - closed).count(),
        300);
    EXPECT_TRUE(link_->IsBroken());
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, false, 0), LinkResult::kBroken);
    EXPECT_EQ(link_->SendMessage(patterned(4, 0)), -1);
    link_.reset();
    EXPECT_EQ(owner_.losses(), 1);
}

TEST_F(TcpLink, PeerCloseGivesPeerClosedToAReceiver)
{
    closeFar();
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, true, 5000), LinkResult::kPeerClosed);
    EXPECT_TRUE(link_->IsBroken());
}

TEST_F(TcpLink, ClosingTheLinkIsNotReportedAsALoss)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    link_->Close();
    EXPECT_EQ(owner_.losses(), 0);
    // The far end sees the shutdown.
    char byte;
    EXPECT_EQ(::recv(pair_.far, &byte, 1, 0), 0);
}

TEST_F(TcpLink, OversizedLengthBreaksTheLinkWithoutAllocating)
{
    struct Row
    {
        const char* name;
        std::vector<std::uint8_t> stream;
    };
    std::vector<std::uint8_t> body = {'1', '1', '1', '1'};
    putU32(body, 0xF0000000);
    const std::vector<Row> rows = {
        {"body", body},
        {"fragment total", fragmentBytes({1, 2, 0xF0000000, 1, 0, patterned(16, 0)})},
    };
    for (const Row& row : rows) {
        const Pair pair = connectedPair();
        CSwlTcpLink link(pair.near);
        ASSERT_TRUE(writeAll(pair.far, row.stream));
        allocationprobe::reset();
        std::vector<std::uint8_t> message;
        EXPECT_EQ(link.RecvMessage(message, true, 5000), LinkResult::kBroken) << row.name;
        EXPECT_TRUE(link.IsBroken()) << row.name;
        EXPECT_LT(allocationprobe::largest(), 1024u * 1024u) << row.name;
        ::close(pair.far);
    }
}

TEST_F(TcpLink, WrongMagicEndsTheReceiveButDoesNotBreakTheLink)
{
    std::vector<std::uint8_t> bad = frameBytes(patterned(4, 0));
    bad[0] = 'X';
    const std::vector<std::uint8_t> good = patterned(6, 1);
    ASSERT_TRUE(writeAll(pair_.far, concat({bad, frameBytes(good)})));
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, true, 5000), LinkResult::kBroken);
    EXPECT_FALSE(link_->IsBroken());
}

TEST_F(TcpLink, WrongMagicStopsTheReceiveThreadAndReportsTheLoss)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    std::vector<std::uint8_t> bad = frameBytes(patterned(4, 0));
    bad[3] = 0;
    ASSERT_TRUE(writeAll(pair_.far, bad));
    EXPECT_TRUE(owner_.waitForLoss());
    EXPECT_TRUE(link_->IsBroken());
}

TEST_F(TcpLink, WaitingReceiveSkipsKeepAlivesAndStopsOnAFragment)
{
    const std::vector<std::uint8_t> body = patterned(20, 1);
    ASSERT_TRUE(
        writeAll(pair_.far, concat({keepAliveBytes(), keepAliveBytes(), frameBytes(body)})));
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, true, 5000), LinkResult::kMessage);
    EXPECT_EQ(message, body);

    ASSERT_TRUE(writeAll(pair_.far, fragmentBytes({1, 2, 4, 1, 0, patterned(2, 0)})));
    EXPECT_EQ(link_->RecvMessage(message, true, 5000), LinkResult::kNothing);
}

TEST_F(TcpLink, ReceiveWithoutWaitingReturnsAtOnceWhenIdle)
{
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, false, 0), LinkResult::kNothing);
    EXPECT_FALSE(link_->IsBroken());
}

TEST_F(TcpLink, WaitingReceiveGivesUpAfterItsTimeDespiteKeepAlives)
{
    std::atomic<bool> done{false};
    std::thread chatter([&] {
        while (!done) {
            if (!writeAll(pair_.far, keepAliveBytes()))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto start = Clock::now();
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, true, 400), LinkResult::kNothing);
    const long long waited = msSince(start);
    done = true;
    chatter.join();
    EXPECT_GE(waited, 400);
    EXPECT_LT(waited, 3000);
    EXPECT_FALSE(link_->IsBroken());
}

TEST_F(TcpLink, ExactReadCompletesAcrossPiecesAndLeavesTheRest)
{
    const std::vector<std::uint8_t> greeting = patterned(64, 4);
    const std::vector<std::uint8_t> after = frameBytes(patterned(10, 5));
    std::thread writer([&] {
        writeAll(pair_.far, greeting.data(), 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeAll(pair_.far,
                 concat({std::vector<std::uint8_t>(greeting.begin() + 30, greeting.end()), after}));
    });
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(link_->RecvExactTimed(buffer, 2000), LinkResult::kMessage);
    writer.join();
    EXPECT_EQ(buffer, greeting);
    // The socket can be handed on: the next link reads the frame that followed.
    const SWL_socket_t sock = link_->Detach();
    ASSERT_EQ(sock, pair_.near);
    EXPECT_NE(::fcntl(sock, F_GETFD), -1);
    link_ = std::make_unique<CSwlTcpLink>(sock);
    std::vector<std::uint8_t> message;
    EXPECT_EQ(link_->RecvMessage(message, true, 2000), LinkResult::kMessage);
    EXPECT_EQ(message, patterned(10, 5));
}

TEST_F(TcpLink, ExactReadThatTimesOutBreaksTheLink)
{
    ASSERT_TRUE(writeAll(pair_.far, patterned(10, 0)));
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(link_->RecvExactTimed(buffer, 200), LinkResult::kNothing);
    EXPECT_TRUE(link_->IsBroken());
}

TEST_F(TcpLink, ExactReadOfAClosedPeerSaysSo)
{
    ASSERT_TRUE(writeAll(pair_.far, patterned(10, 0)));
    closeFar();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(link_->RecvExactTimed(buffer, 2000), LinkResult::kPeerClosed);
}

TEST_F(TcpLink, SendFragmentWritesTheFragmentFrame)
{
    const std::vector<std::uint8_t> bytes = patterned(12, 6);
    FragmentHeader header;
    header.messageId = 5;
    header.fragmentCount = 2;
    header.totalLength = 20;
    header.fragmentNumber = 1;
    header.channel = 1;
    ASSERT_EQ(link_->SendFragment(header, bytes), 0);
    EXPECT_EQ(readExactly(pair_.far, 8 + 24 + 12), fragmentBytes({5, 2, 20, 1, 1, bytes}));
}

TEST_F(TcpLink, StartingTwiceIsRefused)
{
    EXPECT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    EXPECT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 1);
    EXPECT_EQ(link_->StartReceiving(), 0);
    EXPECT_EQ(link_->StartReceiving(), 1);
}

TEST_F(TcpLink, PreparedReceiverLeavesMessagesToTheCallerUntilStarted)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->PrepareReceiving(), 0);
    EXPECT_EQ(link_->PrepareReceiving(), 1);
    const std::vector<std::uint8_t> first = patterned(32, 4);
    ASSERT_TRUE(writeAll(pair_.far, frameBytes(first)));
    std::vector<std::uint8_t> message;
    ASSERT_EQ(link_->RecvMessage(message, true, 5000), LinkResult::kMessage);
    EXPECT_EQ(message, first);
    EXPECT_TRUE(owner_.messages().empty());

    ASSERT_EQ(link_->StartReceiving(), 0);
    EXPECT_EQ(link_->StartReceiving(), 1);
    const std::vector<std::uint8_t> second = patterned(70000, 5);
    ASSERT_TRUE(writeAll(pair_.far, frameBytes(second)));
    ASSERT_TRUE(owner_.waitForMessages(1));
    EXPECT_EQ(owner_.messages().front(), second);
}

TEST_F(TcpLink, AbortEndsTheReceiveThreadsWaitAndReportsTheLoss)
{
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    // A message delivered shows the thread reading; it then waits for the next one.
    ASSERT_TRUE(writeAll(pair_.far, frameBytes(patterned(8, 6))));
    ASSERT_TRUE(owner_.waitForMessages(1));
    link_->Abort();
    ASSERT_TRUE(owner_.waitForLoss());
    EXPECT_EQ(link_->SendMessage(patterned(4, 0)), -1);
}

TEST_F(TcpLink, StalledFrameBreaksTheReceiveThreadAfterTheNoProgressLimit)
{
    LinkLimits limits;
    limits.noProgressMs = 300;
    limits.keepAliveIntervalMs = 100;
    link_ = std::make_unique<CSwlTcpLink>(link_->Detach(), limits);
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::KeepAliveSender), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    const std::vector<std::uint8_t> frame = frameBytes(patterned(100, 7));
    ASSERT_TRUE(writeAll(pair_.far, frame.data(), 20));
    const auto start = Clock::now();
    ASSERT_TRUE(owner_.waitForLoss());
    EXPECT_GE(msSince(start), limits.noProgressMs - 50);
    EXPECT_TRUE(owner_.messages().empty());
}

TEST_F(TcpLink, IdleWatchdogBreaksASilentLinkAfterItsLimit)
{
    EXPECT_EQ(LinkLimits{}.idleLimitMs, 20000);
    LinkLimits limits;
    limits.idleLimitMs = 600;
    link_ = std::make_unique<CSwlTcpLink>(link_->Detach(), limits);
    const auto start = Clock::now();
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::IdleWatchdog), 0);
    ASSERT_TRUE(owner_.waitForLoss(5000));
    EXPECT_GE(msSince(start), limits.idleLimitMs - 50);
    EXPECT_TRUE(link_->IsBroken());
}

TEST_F(TcpLink, IdleWatchdogKeepsALinkThatHearsFromThePeer)
{
    LinkLimits limits;
    limits.idleLimitMs = 600;
    link_ = std::make_unique<CSwlTcpLink>(link_->Detach(), limits);
    ASSERT_EQ(link_->Start(&Owner::callback, &owner_, LinkMode::IdleWatchdog), 0);
    ASSERT_EQ(link_->StartReceiving(), 0);
    const auto keepAlive = encodeFrameHeader(Frame::kKeepAlive);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(::send(pair_.far, keepAlive.data(), keepAlive.size(), 0),
                  static_cast<ssize_t>(keepAlive.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_FALSE(link_->IsBroken()) << "1600 ms of keep-alives, 200 ms apart";
    EXPECT_EQ(owner_.losses(), 0);
}

} // namespace
