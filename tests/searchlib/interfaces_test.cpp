// Where the library sends its probes: every multicast-capable interface, at most
// `count` of them. A raw peer on the search group tells on which interface each arrived.

#include "callbackrecorder.h"
#include "fakecamera.h"
#include "platform/netif.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;

TEST(SearchInterfaces, OnlyLoopbackCarriesMulticastInThisNamespace)
{
    const auto interfaces = platform::multicastInterfaces();
    ASSERT_EQ(interfaces.size(), 1u);
    EXPECT_EQ(interfaces[0].name, "lo");
    EXPECT_EQ(platform::ipv4Text(interfaces[0].address), "127.0.0.1");
    EXPECT_TRUE(interfaces[0].loopback);
    EXPECT_TRUE(interfaces[0].up);
    EXPECT_EQ(interfaces[0].netmask, 0xFF000000u);
}

// Adds interfaces to this private namespace, so the tests that need them run last.
class InterfaceCountTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (const char* command :
             {"ip link add gvd1 type veth peer name gvd1p",
              "ip link add gvd2 type veth peer name gvd2p", "ip addr add 203.0.113.1/25 dev gvd1",
              "ip addr add 203.0.113.129/25 dev gvd2", "ip link set gvd1p up",
              "ip link set gvd1 up", "ip link set gvd2p up", "ip link set gvd2 up"}) {
            ASSERT_EQ(std::system(command), 0) << command;
        }
    }

    // The interfaces on which probes of one search arrive while `count` is in force.
    static std::set<int> probedInterfaces(int count)
    {
        FakeCamera camera;
        CallbackRecorder recorder;
        EXPECT_TRUE(camera.ready());
        EXPECT_EQ(QUARLO_SEARCH_Initial(&CallbackRecorder::callback, &recorder, count),
                  QUARLO_SEARCH_OK);
        EXPECT_EQ(galvorn::searchlib::startAutoMilliseconds(60'000), QUARLO_SEARCH_OK);
        std::set<int> seen;
        FakeCamera::Probe probe;
        // One round sends one probe per interface at once; a short quiet time ends it.
        if (camera.awaitProbe(probe, 5s)) {
            seen.insert(probe.interfaceIndex);
            while (camera.awaitProbe(probe, 300ms))
                seen.insert(probe.interfaceIndex);
        }
        EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
        return seen;
    }
};

TEST_F(InterfaceCountTest, CountIsTheMostInterfacesProbedInIndexOrder)
{
    const auto interfaces = platform::multicastInterfaces();
    ASSERT_EQ(interfaces.size(), 3u);
    std::set<int> all;
    for (const auto& netif : interfaces)
        all.insert(static_cast<int>(netif.index));

    EXPECT_EQ(probedInterfaces(32), all);
    EXPECT_EQ(probedInterfaces(3), all);
    const std::set<int> first{static_cast<int>(interfaces[0].index)};
    EXPECT_EQ(probedInterfaces(1), first);
}

} // namespace
} // namespace galvorn::testing
