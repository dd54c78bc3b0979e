#include "device/commandids.h"
#include "device/loginmessage.h"
#include "device/netdvsdevice.h"
#include "tests/common/loopback.h"

#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

// The session over a socket pair, where the test plays the device byte for byte.
using namespace galvorn::device;
using namespace testnet;

namespace {

struct LinkLoss
{
    std::mutex lock;
    std::condition_variable changed;
    bool lost = false;

    static int callback(void* context, CNetDevice*, tint32 type, tint32, const void*, tuint32)
    {
        auto& loss = *static_cast<LinkLoss*>(context);
        if (type != CALLBACK_LINK_LOST)
            return 0;
        const std::lock_guard guard(loss.lock);
        loss.lost = true;
        loss.changed.notify_all();
        return 0;
    }
};

std::vector<std::uint8_t> acceptance()
{
    std::vector<std::uint8_t> body;
    for (const std::uint32_t word : {std::uint32_t{REPLY_LOGIN_ACCEPTED}, 0u, 0u, 110u})
        putU32(body, word);
    body.resize(body.size() + 110);
    return frameBytes(body);
}

} // namespace

// A device that accepts the login and hangs up at once: the session may hear of the lost
// link before Login() returns, and must end up offline all the same. The loss and the
// end of the login race, so the device plays this many times.
TEST(SessionOverAPair, ALinkLostWhileLoggingInLeavesTheSessionOffline)
{
    std::vector<std::uint8_t> greeting(DeviceGreeting::kSize);
    greeting[12] = DeviceGreeting::kProtocolVersion;
    for (int round = 0; round < 200; ++round) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        ASSERT_TRUE(writeAll(ends[1], acceptance()));
        ::shutdown(ends[1], SHUT_WR);
        LinkLoss loss;
        int error = 0;
        SessionHandle session(CreateSession(ends[0], greeting, &LinkLoss::callback, &loss, error));
        ASSERT_TRUE(session);
        DEVICE_INFO info{};
        ASSERT_EQ(session->Login("admin", "123456", info), LoginResult::kOk);
        {
            std::unique_lock guard(loss.lock);
            ASSERT_TRUE(
                loss.changed.wait_for(guard, std::chrono::seconds(10), [&] { return loss.lost; }));
        }
        EXPECT_EQ(session->ConnectionState(), kDeviceOffline) << "round " << round;
        session.reset();
        ::close(ends[1]);
    }
}
