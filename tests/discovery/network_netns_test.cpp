#include "discovery/quarlomanage.h"
#include "platform/desktop.h"
#include "platform/netif.h"
#include "platform/network.h"

#include "answerxml.h"
#include "privatenetns.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <functional>
#include <linux/capability.h>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using galvorn::platform::addLinkLocalRoute;
using galvorn::platform::IsPortReachable;
using galvorn::platform::LinkLocalRouteResult;

constexpr std::uint32_t kLoopback = 0x7F000001;
// On the first bridge's network, held by nobody: connections to it go unanswered.
constexpr const char* kSilentAddress = "192.0.2.99";
constexpr int kProbeMs = 200;
constexpr const char* kRefusal =
    "refusing to change interfaces outside the namespace of tests/netns/run-in-netns.sh";

// A TCP socket on 127.0.0.1 with an ephemeral port, listening or only bound. A bound
// socket that does not listen refuses connections and keeps its port from being reused.
class LoopbackPort
{
public:
    explicit LoopbackPort(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            (listening && ::listen(fd_, 8) != 0) ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    std::uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Interfaces that hold the route 169.254.0.0/16, from the kernel's routing table.
std::vector<std::string> linkLocalRouteInterfaces()
{
    std::vector<std::string> result;
    std::ifstream table("/proc/net/route");
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
        fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask;
        // Network byte order written as a host-order (little-endian) hexadecimal word.
        if (destination == "0000FEA9" && mask == "0000FFFF")
            result.push_back(iface);
    }
    return result;
}

std::uint32_t address(const char* text)
{
    std::uint32_t value = 0;
    galvorn::platform::parseIpv4(text, value);
    return value;
}

// Runs `work` on a thread of its own without CAP_NET_ADMIN in its effective set, as a
// program started by a normal user runs. Capabilities belong to a thread: the test's own
// thread keeps them.
void withoutNetAdmin(const std::function<void()>& work)
{
    std::thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
        ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
        data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective &= ~CAP_TO_MASK(CAP_NET_ADMIN);
        ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
        work();
    }).join();
}

// Two bridges: gb0 with 192.0.2.1/24 and gb1 with 198.51.100.1/24, removed after the test.
class TwoInterfaces : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!inPrivateNetns())
            GTEST_FAIL() << kRefusal;
        owned_ = true;
        ASSERT_TRUE(addBridge("gb0", "192.0.2.1/24"));
        ASSERT_TRUE(addBridge("gb1", "198.51.100.1/24"));
    }
    // Runs also when SetUp failed; only the namespace's own interfaces are removed.
    void TearDown() override
    {
        if (!owned_)
            return;
        runIp({"link", "del", "gb0"});
        runIp({"link", "del", "gb1"});
    }

private:
    bool owned_ = false;
};

TEST(AdapterTest, AliveNetworkAndFirstAddressFollowTheInterfaces)
{
    if (!inPrivateNetns())
        GTEST_FAIL() << kRefusal;
    CQuarloManage manage;
    std::string first = "unset";

    // Loopback alone is no network.
    EXPECT_FALSE(galvorn::platform::IsNetworkAlive());
    manage.GetFirstAdapterAddress(first);
    EXPECT_EQ(first, "");

    // An interface without an address comes first but has nothing to give.
    ASSERT_TRUE(addBridge("ga0", "", false));
    ASSERT_TRUE(addBridge("ga1", "198.51.100.1/24", false));
    EXPECT_FALSE(galvorn::platform::IsNetworkAlive()); // down
    manage.GetFirstAdapterAddress(first);
    EXPECT_EQ(first, "198.51.100.1");

    ASSERT_TRUE(runIp({"link", "set", "ga1", "up"}));
    EXPECT_TRUE(galvorn::platform::IsNetworkAlive());

    ASSERT_TRUE(runIp({"addr", "add", "192.0.2.1/24", "dev", "ga0"}));
    ASSERT_TRUE(runIp({"addr", "add", "192.0.2.2/24", "dev", "ga0"}));
    manage.GetFirstAdapterAddress(first);
    EXPECT_EQ(first, "192.0.2.1");

    runIp({"link", "del", "ga0"});
    runIp({"link", "del", "ga1"});
    EXPECT_FALSE(galvorn::platform::IsNetworkAlive());
}

struct RouteCase
{
    const char* localAddress;
    std::vector<std::string> routedVia;
};

void PrintTo(const RouteCase& c, std::ostream* out)
{
    *out << '"' << c.localAddress << '"';
}

class LinkLocalRouteTest : public TwoInterfaces, public testing::WithParamInterface<RouteCase>
{};

TEST_P(LinkLocalRouteTest, GoesOnTheInterfaceThatHoldsTheAddress)
{
    CQuarloManage manage;
    manage.AddLinkLocalRoute(GetParam().localAddress);
    EXPECT_EQ(linkLocalRouteInterfaces(), GetParam().routedVia);
    // A second start finds the route in place and leaves it alone.
    manage.AddLinkLocalRoute(GetParam().localAddress);
    EXPECT_EQ(linkLocalRouteInterfaces(), GetParam().routedVia);
}

INSTANTIATE_TEST_SUITE_P(Addresses, LinkLocalRouteTest,
                         testing::Values(RouteCase{"192.0.2.1", {"gb0"}},
                                         RouteCase{"198.51.100.1", {"gb1"}},
                                         RouteCase{"203.0.113.9", {}}, RouteCase{"198.51.100", {}},
                                         RouteCase{"", {}}));

TEST_F(TwoInterfaces, RouteOnAnInterfaceLeavesAnExistingOneAlone)
{
    const LinkLocalRouteResult first = addLinkLocalRoute("192.0.2.1");
    EXPECT_TRUE(first.added);
    EXPECT_EQ(first.interfaceName, "gb0");
    EXPECT_EQ(first.refusal, "");
    // A route in place is no refusal: a program started again must not warn about it.
    const LinkLocalRouteResult second = addLinkLocalRoute("198.51.100.1");
    EXPECT_FALSE(second.added);
    EXPECT_EQ(second.interfaceName, "gb1");
    EXPECT_EQ(second.refusal, "");
    EXPECT_EQ(linkLocalRouteInterfaces(), std::vector<std::string>{"gb0"});
}

TEST_F(TwoInterfaces, RouteRefusedToAProgramWithoutTheRightSaysWhy)
{
    LinkLocalRouteResult result;
    withoutNetAdmin([&] { result = addLinkLocalRoute("192.0.2.1"); });
    EXPECT_FALSE(result.added);
    EXPECT_EQ(result.interfaceName, "gb0");
    EXPECT_NE(result.refusal, "");
    EXPECT_TRUE(linkLocalRouteInterfaces().empty());
}

TEST_F(TwoInterfaces, PortReachableOnlyWhenTheConnectionCompletes)
{
    const LoopbackPort listening(true);
    const LoopbackPort refusing(false);
    ASSERT_NE(listening.port(), 0);
    ASSERT_NE(refusing.port(), 0);
    EXPECT_TRUE(IsPortReachable(kLoopback, listening.port(), kProbeMs));
    EXPECT_FALSE(IsPortReachable(kLoopback, refusing.port(), kProbeMs));
    EXPECT_FALSE(IsPortReachable(address(kSilentAddress), listening.port(), kProbeMs));
}

struct WebPageCase
{
    const char* name;
    std::string first;
    bool firstListens; // data port: listening on loopback, or refusing
    std::string second;
    std::string httpPort;
    std::string url;
};

void PrintTo(const WebPageCase& c, std::ostream* out)
{
    *out << c.name;
}

class OpenDeviceWebPageTest : public TwoInterfaces, public testing::WithParamInterface<WebPageCase>
{
protected:
    void TearDown() override
    {
        galvorn::platform::setUrlOpener({});
        TwoInterfaces::TearDown();
    }
};

TEST_P(OpenDeviceWebPageTest, OpensTheReachableAddress)
{
    const WebPageCase& c = GetParam();
    const LoopbackPort dataPort(c.firstListens);
    ASSERT_NE(dataPort.port(), 0);
    std::vector<std::string> opened;
    galvorn::platform::setUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });

    CQuarloManage manage;
    AnswerFields fields;
    fields.ip = c.first;
    fields.ip2 = c.second;
    fields.httpPort = c.httpPort;
    fields.dataPort = std::to_string(dataPort.port());
    CQuarloManage::OnSearchCallback("00:1a:2b:3c:4d:5e", 1, answerXml(fields).c_str(), &manage);

    EXPECT_TRUE(manage.OpenDeviceWebPage("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(opened, std::vector<std::string>{c.url});
}

INSTANTIATE_TEST_SUITE_P(
    Devices, OpenDeviceWebPageTest,
    testing::Values(WebPageCase{"Port80HasNoPort", "127.0.0.1", true, "198.51.100.7", "80",
                                "http://127.0.0.1"},
                    WebPageCase{"OtherPortIsAppended", "127.0.0.1", true, "198.51.100.7", "8080",
                                "http://127.0.0.1:8080"},
                    WebPageCase{"RefusedFirstUsesSecond", "127.0.0.1", false, "198.51.100.7", "80",
                                "http://198.51.100.7"},
                    WebPageCase{"SilentFirstUsesSecond", kSilentAddress, true, "127.0.0.1", "81",
                                "http://127.0.0.1:81"},
                    WebPageCase{"UnreadableFirstUsesSecond", "camera", true, "127.0.0.1", "80",
                                "http://127.0.0.1"}),
    [](const testing::TestParamInfo<WebPageCase>& info) { return std::string(info.param.name); });

TEST(OpenDeviceWebPageEdgeTest, UnknownDeviceOpensNothing)
{
    if (!inPrivateNetns())
        GTEST_FAIL() << kRefusal;
    std::vector<std::string> opened;
    galvorn::platform::setUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    CQuarloManage manage;
    CQuarloManage::OnSearchCallback("00:1A:2B:3C:4D:5E", 1, answerXml({}).c_str(), &manage);
    EXPECT_TRUE(manage.OpenDeviceWebPage("00:1A:2B:3C:4D:5F"));
    // The key is the upper-case text the list holds.
    EXPECT_TRUE(manage.OpenDeviceWebPage("00:1a:2b:3c:4d:5e"));
    galvorn::platform::setUrlOpener({});
    EXPECT_TRUE(opened.empty());
}

TEST(UrlOpenerTest, OpenUrlNeedsAnOpener)
{
    galvorn::platform::setUrlOpener({});
    EXPECT_FALSE(galvorn::platform::openUrl("http://192.0.2.10"));
    std::string seen;
    galvorn::platform::setUrlOpener([&](const std::string& url) {
        seen = url;
        return false;
    });
    EXPECT_FALSE(galvorn::platform::openUrl("http://192.0.2.10"));
    EXPECT_EQ(seen, "http://192.0.2.10");
    galvorn::platform::setUrlOpener({});
}

} // namespace
