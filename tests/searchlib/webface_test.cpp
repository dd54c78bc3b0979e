// The simulator's web face: what the operator's double-click on a camera opens.

#include "testkit/devsimprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::testing {
namespace {

// Fetches "/" from the address and port; empty when the connection fails.
std::string httpGet(const char* address, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &peer.sin_addr);
    std::string response;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
        const std::string request = "GET / HTTP/1.0\r\nHost: camera\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char chunk[1024];
            for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
                response.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return response;
}

TEST(DevsimWebFace, ServesAPageNamingTheCameraAsItIsNow)
{
    DevsimProcess devsim;
    std::string error;
    const std::string config = testCameraSection(0, "httpPort = 8080\n") +
                               testCameraSection(1, "httpPort = 8080\ndevName = Gate <B&W>\n");
    ASSERT_TRUE(devsim.start(config, error)) << error;

    const std::string first = httpGet("127.0.1.1", 8080);
    EXPECT_EQ(first.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << first;
    EXPECT_NE(first.find("<title>Camera 0</title>"), std::string::npos) << first;
    EXPECT_NE(first.find(testCameraMac(0)), std::string::npos);

    const std::string second = httpGet("127.0.1.2", 8080);
    EXPECT_NE(second.find("<h1>Gate &lt;B&amp;W&gt;</h1>"), std::string::npos) << second;

    ASSERT_EQ(devsim.command("set " + testCameraMac(0) + " devName Lobby"), "ok");
    EXPECT_NE(httpGet("127.0.1.1", 8080).find("<title>Lobby</title>"), std::string::npos);
    EXPECT_TRUE(httpGet("127.0.1.3", 8080).empty());
    EXPECT_EQ(devsim.quit(), 0);
}

TEST(DevsimControl, AnswersEveryLineAndRefusesWhatItCannotDo)
{
    DevsimProcess devsim;
    std::string error;
    ASSERT_TRUE(devsim.start(testCameraSection(0), error)) << error;
    const std::string mac = testCameraMac(0);
    const std::pair<std::string, std::string> rows[] = {
        {"set " + mac + " devName Two words ", "ok"},
        {"set * dhcpSwitch TRUE", "ok"},
        {"silence *", "ok"},
        {"revive " + mac, "ok"},
        {"answer * foreign", "ok"},
        {"answer * normal", "ok"},
        {"answer * sideways", "error answer mode is normal, foreign or malformed"},
        {"set " + mac + " httpPort 81", "error httpPort cannot change while running"},
        {"set " + mac + " dataPort 70000", "error not a port number"},
        {"set " + mac + " colour red", "error unknown field \"colour\""},
        {"silence 00:00:00:00:00:09", "error no camera \"00:00:00:00:00:09\""},
        {"reboot *", "error unknown command \"reboot\""},
    };
    for (const auto& [line, reply] : rows)
        EXPECT_EQ(devsim.command(line), reply) << line;
    EXPECT_EQ(devsim.quit(), 0);
}

} // namespace
} // namespace galvorn::testing
