// The simulated cameras against probes of every version: a raw prober on loopback stands
// in for the library, so that the answers are seen as they arrive, version and time.

#include "searchlib/wire.h"
#include "testkit/devsimprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
namespace wire = searchlib::wire;
using Bytes = std::vector<std::uint8_t>;

struct Arrival
{
    wire::Answer answer;
    // When the kernel queued the answer, so that a slow reader does not bunch them up.
    std::chrono::nanoseconds at{0};
};

// Sends probes to the search group on lo and collects the answers. Owns its socket.
class Prober
{
public:
    Prober()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        const unsigned char loop = 1;
        ip_mreqn via{};
        via.imr_ifindex = static_cast<int>(::if_nametoindex("lo"));
        if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0 ||
            ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
            ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0) {
            closeSocket();
        }
    }
    ~Prober() { closeSocket(); }
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;

    bool ready() const { return fd_ >= 0; }

    bool send(const Bytes& probe)
    {
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_addr.s_addr = htonl(wire::kGroup);
        group.sin_port = htons(wire::kPort);
        return ::sendto(fd_, probe.data(), probe.size(), 0,
                        reinterpret_cast<const sockaddr*>(&group),
                        sizeof group) == static_cast<ssize_t>(probe.size());
    }

    // Waits for `count` answers that decode, or until the timeout.
    std::vector<Arrival> collect(std::size_t count, std::chrono::milliseconds timeout)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        std::vector<Arrival> arrivals;
        Bytes buffer(wire::kMaxDatagram);
        while (arrivals.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd readable{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                break;
            Arrival arrival;
            if (receive(buffer, arrival))
                arrivals.push_back(std::move(arrival));
        }
        return arrivals;
    }

private:
    bool receive(Bytes& buffer, Arrival& arrival)
    {
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = ::recvmsg(fd_, &message, 0);
        if (length < 0 || wire::decodeAnswer({buffer.data(), static_cast<std::size_t>(length)},
                                             arrival.answer) != wire::Status::Ok)
            return false;
        for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
            if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp;
                std::memcpy(&stamp, CMSG_DATA(h), sizeof stamp);
                arrival.at =
                    std::chrono::seconds{stamp.tv_sec} + std::chrono::nanoseconds{stamp.tv_nsec};
            }
        }
        return true;
    }

    void closeSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
};

class AnswerDelay : public ::testing::Test
{
protected:
    void startCameras(int count)
    {
        std::string config;
        for (int i = 0; i < count; ++i)
            config += testCameraSection(i);
        std::string error;
        ASSERT_TRUE(devsim_.start(config, error)) << error;
        ASSERT_TRUE(prober_.ready());
    }

    // Every camera answered once, echoing the nonce, in `version`.
    static void expectOneAnswerEach(const std::vector<Arrival>& arrivals, int cameras,
                                    std::uint32_t nonce, std::uint8_t version)
    {
        ASSERT_EQ(arrivals.size(), static_cast<std::size_t>(cameras));
        std::set<std::string> macs;
        for (const Arrival& arrival : arrivals) {
            macs.insert(arrival.answer.mac.text());
            EXPECT_EQ(arrival.answer.nonce, nonce);
            EXPECT_EQ(arrival.answer.version, version);
        }
        EXPECT_EQ(macs.size(), static_cast<std::size_t>(cameras));
    }

    DevsimProcess devsim_;
    Prober prober_;
};

// A library of the first version sends probes without a delay and reads only answers of
// its own version.
TEST_F(AnswerDelay, FirstVersionProbesAreAnsweredInTheFirstVersion)
{
    constexpr int kCameras = 8;
    startCameras(kCameras);
    wire::Probe probe;
    probe.nonce = 0x1111;
    probe.version = wire::kFirstVersion;
    const Bytes datagram = wire::encodeProbe(probe);
    ASSERT_EQ(datagram.size(), wire::kProbeSizeVersion1);
    ASSERT_TRUE(prober_.send(datagram));
    expectOneAnswerEach(prober_.collect(kCameras, 5s), kCameras, probe.nonce, wire::kFirstVersion);
}

// A probe of a later version, with a field of its own after the delay, is read as far as
// the cameras know it and answered in their version.
TEST_F(AnswerDelay, LaterVersionProbesAreAnsweredInTheCamerasVersion)
{
    constexpr int kCameras = 4;
    startCameras(kCameras);
    Bytes datagram = wire::encodeProbe({0x2222, 0, wire::kVersion});
    datagram[4] = wire::kVersion + 1;
    datagram.insert(datagram.end(), {0xAB, 0xCD});
    ASSERT_TRUE(prober_.send(datagram));
    expectOneAnswerEach(prober_.collect(kCameras, 5s), kCameras, 0x2222, wire::kVersion);
}

// 32 cameras waiting a random time of up to 1500 ms each: the chance that their answers
// still come within 150 ms of each other is about 32 * 0.1^31.
TEST_F(AnswerDelay, TheDelaySpreadsTheAnswers)
{
    constexpr int kCameras = 32;
    startCameras(kCameras);
    ASSERT_TRUE(prober_.send(wire::encodeProbe({0x3333, 1500, wire::kVersion})));
    const std::vector<Arrival> arrivals = prober_.collect(kCameras, 10s);
    expectOneAnswerEach(arrivals, kCameras, 0x3333, wire::kVersion);
    const auto [first, last] =
        std::minmax_element(arrivals.begin(), arrivals.end(),
                            [](const Arrival& a, const Arrival& b) { return a.at < b.at; });
    EXPECT_GE(last->at - first->at, 150ms);
}

} // namespace
} // namespace galvorn::testing
