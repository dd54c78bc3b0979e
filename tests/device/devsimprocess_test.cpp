// Logins against the galvorn-devsim program itself: each camera of one configuration
// file speaks another login mode on its data port.

#include "device/commandids.h"
#include "device/loginmessage.h"
#include "testkit/devsimprocess.h"
#include "testkit/tempdir.h"
#include "tests/common/loopback.h"
#include "tests/device/facethread.h"
#include "tests/device/sessionhelper.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace galvorn::device;
using galvorn::testing::DevsimProcess;
using galvorn::testing::testCameraMac;
using galvorn::testing::testCameraSection;

namespace {

constexpr std::uint16_t kDataPort = 9008;

// Connects to a camera's data port at its own loopback address and logs in.
struct Login
{
    int stage = -1;
    int code = -1;
    SessionHandle session;
};

Login logIn(int camera, Owner& owner, const char* user, const char* password)
{
    using namespace galvorn;
    Login result;
    const std::string address = "127.0.1." + std::to_string(1 + camera);
    common::CSwlConnectProc connector(address, kDataPort);
    SWL_socket_t sock = connector.Connect(3000);
    if (sock == SWL_INVALID_SOCKET)
        return result;
    std::vector<std::uint8_t> greeting(DeviceGreeting::kSize);
    common::CSwlTcpLink link(sock);
    result.stage = 1;
    result.code = link.RecvExactTimed(greeting, 2000);
    sock = link.Detach();
    if (result.code != 0) {
        SWL_CloseSocket(sock);
        return result;
    }
    result.stage = 2;
    CNetDevice* session = CreateSession(sock, greeting, &Owner::callback, &owner, result.code);
    if (!session) {
        SWL_CloseSocket(sock);
        return result;
    }
    result.session.reset(session);
    DEVICE_INFO info;
    result.stage = 3;
    result.code = session->Login(user, password, info);
    return result;
}

class DevsimProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        directory_ = temp_.path() + "/";
    }

    std::string recording(int camera) const
    {
        return directory_ + "camera" + std::to_string(camera) + ".log";
    }

    std::string section(int camera, const std::string& device)
    {
        std::filesystem::remove(recording(camera));
        return testCameraSection(camera, "httpPort = 0\ndataPort = " + std::to_string(kDataPort) +
                                             "\ndevice.user = operator\ndevice.password = pa55\n"
                                             "device.record = " +
                                             recording(camera) + "\n" + device);
    }

    const TempDir temp_;
    std::string directory_;
    Owner owner_;
};

TEST_F(DevsimProgram, LogsInToEveryModeAndRecordsIt)
{
    struct Row
    {
        const char* config;
        const char* mode;
    };
    const std::vector<Row> rows = {
        {"", "plain"},
        {"device.cipher = 0x10000\ndevice.key = 0badc0de\n", "xor"},
        {"device.passwordMode = 1\ndevice.challenge = 0\n", "digest"},
        {"device.passwordMode = 2\ndevice.challenge = 987654\n", "digest-scrambled"},
        {"device.cipher = 3\n", "unencoded"},
    };
    std::string config;
    for (std::size_t i = 0; i < rows.size(); ++i)
        config += section(static_cast<int>(i), rows[i].config);
    DevsimProcess devsim;
    std::string error;
    ASSERT_TRUE(devsim.start(config, error)) << error;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int camera = static_cast<int>(i);
        Login login = logIn(camera, owner_, "operator", "pa55");
        EXPECT_EQ(login.stage, 3) << rows[i].mode;
        EXPECT_EQ(login.code, LoginResult::kOk) << rows[i].mode;
        Login wrong = logIn(camera, owner_, "operator", "pa56");
        EXPECT_EQ(wrong.code, LoginResult::kWrongCredentials) << rows[i].mode;
        login.session.reset();
        wrong.session.reset();
        const std::vector<Recorded> lines = readRecording(recording(camera));
        ASSERT_EQ(lines.size(), 2u) << rows[i].mode;
        EXPECT_EQ(lines[0].at("mode"), rows[i].mode);
        EXPECT_EQ(lines[0].at("user"), "operator");
        EXPECT_EQ(lines[0].at("verdict"), "accepted");
        EXPECT_EQ(lines[1].at("verdict"), "refused");
        EXPECT_EQ(lines[1].at("reason"), "password");
    }
}

TEST_F(DevsimProgram, ControlChannelChangesTheDeviceFaceWhileRunning)
{
    DevsimProcess devsim;
    std::string error;
    ASSERT_TRUE(devsim.start(section(0, ""), error)) << error;
    const std::string mac = testCameraMac(0);

    ASSERT_EQ(devsim.command("set " + mac + " device.refuseLogin 13"), "ok");
    EXPECT_EQ(logIn(0, owner_, "operator", "pa55").code, LoginResult::kRefused13);
    ASSERT_EQ(devsim.command("set " + mac + " device.refuseLogin 0"), "ok");

    Login login = logIn(0, owner_, "operator", "pa55");
    ASSERT_EQ(login.code, LoginResult::kOk);
    ASSERT_EQ(devsim.command("events " + mac), "ok");
    EXPECT_TRUE(owner_.waitFor(CALLBACK_DEVICE_EVENT));
    EXPECT_TRUE(owner_.waitFor(CALLBACK_EVENT_DATA));

    EXPECT_EQ(devsim.command("set " + mac + " device.record /tmp/elsewhere"),
              "error device.record cannot change while running");
    EXPECT_EQ(devsim.command("set " + mac + " device.fragmentChannel 9"),
              "error bad value for device.fragmentChannel: 9");
}

TEST_F(DevsimProgram, ADataPortOfZeroHasNoDeviceFace)
{
    DevsimProcess devsim;
    std::string error;
    ASSERT_TRUE(devsim.start(testCameraSection(0, "httpPort = 0\ndataPort = 0\n"), error)) << error;
    galvorn::common::CSwlConnectProc connector("127.0.1.1", kDataPort);
    EXPECT_EQ(connector.Connect(1000), SWL_INVALID_SOCKET);
}

} // namespace
