// The address preparation on a test network of namespaces (testkit/foreignsubnet.h): the
// kernels of the camera, busy and other hosts answer the ARP probes. Runs only in the
// private namespace of tests/netns/run-in-netns.sh.
#include "netprep/arpprobe.h"
#include "netprep/freeaddresswalk.h"
#include "platform/adapters.h"
#include "platform/addressprep.h"
#include "platform/addresswait.h"
#include "platform/cancelsignal.h"
#include "platform/netif.h"
#include "platform/netprepreport.h"
#include "testkit/foreignsubnet.h"
#include "testkit/privatenetns.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace galvorn::netprep {
namespace {

using testing::ForeignSubnet;
using testing::ForeignSubnetOptions;

const std::string kHelper = std::string(GALVORN_BIN_DIR) + "/galvorn-netprep";

std::uint32_t ip(const std::string& text)
{
    std::uint32_t value = 0;
    EXPECT_TRUE(platform::parseIpv4(text, value)) << text;
    return value;
}

platform::MacBytes mac(const char* text)
{
    platform::MacBytes bytes{};
    unsigned values[6] = {};
    std::sscanf(text, "%x:%x:%x:%x:%x:%x", &values[0], &values[1], &values[2], &values[3],
                &values[4], &values[5]);
    for (int i = 0; i < 6; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(values[i]);
    return bytes;
}

bool vethIsPhysical(const platform::Adapter& adapter)
{
    return adapter.name.rfind("lan", 0) == 0;
}

// Output and exit code of one helper run.
struct HelperRun
{
    int exitCode = -1;
    std::string output;
};

HelperRun runHelper(std::vector<std::string> words)
{
    HelperRun run;
    char path[] = "/tmp/netprep-out-XXXXXX";
    const int out = ::mkstemp(path);
    if (out < 0)
        return run;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid = 0;
    int status = 0;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out);
    std::getline(std::ifstream(path), run.output);
    std::remove(path);
    return run;
}

std::vector<std::string> prepareWords(const std::string& address, const std::string& mask,
                                      const std::string& device)
{
    return {kHelper, "prepare", "--address", address, "--mask", mask, "--mac", device};
}

// The helper without its two capabilities, as an ordinary user starts it before
// ./run install: root, but with both dropped from the bounding set.
std::vector<std::string> withoutCapabilities(std::vector<std::string> words)
{
    words.insert(words.begin(),
                 {"/usr/bin/setpriv", "--bounding-set", "-net_admin,-net_raw", "--"});
    return words;
}

class ForeignSubnetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing::inPrivateNetns()) << "runs only in a private namespace";
        ForeignSubnetOptions options;
        options.busyHosts = ForeignSubnet::crowdedHosts();
        std::string error;
        ASSERT_TRUE(net.build(options, error)) << error;
        previous = platform::ReplacePhysicalAdapterTest(&vethIsPhysical);
    }
    void TearDown() override { platform::ReplacePhysicalAdapterTest(previous); }

    platform::Adapter adapterNamed(const std::string& name)
    {
        std::vector<platform::Adapter> adapters;
        EXPECT_TRUE(platform::GetAdapterList(adapters));
        for (const auto& adapter : adapters) {
            if (adapter.name == name)
                return adapter;
        }
        ADD_FAILURE() << "no adapter " << name;
        return {};
    }

    // The log lines of one window-side preparation.
    bool prepare(const platform::DeviceAddressInfo& device, std::uint32_t& connect,
                 std::uint32_t& added, std::vector<std::string>& log,
                 const std::string& helper = kHelper)
    {
        platform::PrepareOptions options;
        options.helper = helper;
        options.log = [&log](std::string_view line) { log.emplace_back(line); };
        return platform::PrepareDeviceAddress(device, connect, added, options);
    }

    ForeignSubnet net;
    platform::PhysicalAdapterTest previous = nullptr;
};

TEST_F(ForeignSubnetTest, FindsTheCameraBehindTheRightOneOfTwoAdapters)
{
    std::vector<platform::Adapter> adapters;
    ASSERT_TRUE(platform::GetAdapterList(adapters));
    platform::Adapter found;
    ProbeFailure failure;
    ASSERT_TRUE(FindAdapterByArp(adapters, ip(ForeignSubnet::kCameraSecond),
                                 mac(ForeignSubnet::kCameraMac), found, failure));
    EXPECT_EQ(found.name, ForeignSubnet::kPcAdapter)
        << "the impostor behind lan1 answers for the address with another MAC";

    ASSERT_TRUE(FindAdapterByArp(adapters, ip(ForeignSubnet::kCameraSecond),
                                 mac(ForeignSubnet::kImpostorMac), found, failure));
    EXPECT_EQ(found.name, ForeignSubnet::kPcSecondAdapter) << "both adapters are asked";

    EXPECT_FALSE(FindAdapterByArp(adapters, ip("198.51.100.252"), mac(ForeignSubnet::kCameraMac),
                                  found, failure))
        << "a free address answers nobody";
    EXPECT_EQ(failure.capture, 0);
}

TEST_F(ForeignSubnetTest, SearchesOnlyPhysicalAdapters)
{
    platform::ReplacePhysicalAdapterTest(nullptr);
    std::vector<platform::Adapter> adapters;
    ASSERT_TRUE(platform::GetAdapterList(adapters));
    platform::Adapter found;
    ProbeFailure failure;
    EXPECT_FALSE(FindAdapterByArp(adapters, ip(ForeignSubnet::kCameraSecond),
                                  mac(ForeignSubnet::kCameraMac), found, failure))
        << "a namespace has no physical adapter";
    const platform::Adapter* fallback = platform::FallbackAdapter(adapters);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->name, ForeignSubnet::kPcAdapter) << "the first that can do ARP";
}

TEST_F(ForeignSubnetTest, TellsWhichCandidatesAnswer)
{
    const platform::Adapter lan0 = adapterNamed(ForeignSubnet::kPcAdapter);
    AdapterProber prober(lan0);
    const std::vector<std::uint32_t> candidates = {ip("198.51.100.5"), ip("198.51.100.10"),
                                                   ip("198.51.100.251"), ip("198.51.100.250"),
                                                   ip("198.51.100.254")};
    std::vector<bool> inUse(candidates.size(), false);
    ASSERT_TRUE(prober.probe(candidates, inUse));
    EXPECT_EQ(inUse, (std::vector<bool>{true, true, false, true, false}));
}

// Seeds whose stride starts inside the busy hosts, one with a step that was once 0.
TEST_F(ForeignSubnetTest, PicksAFreeAddressInsideTheSubnet)
{
    const platform::Adapter lan0 = adapterNamed(ForeignSubnet::kPcAdapter);
    for (const auto& [r1, r2] : {std::pair<std::uint32_t, std::uint32_t>{20, 40}, {77, 5}}) {
        FreeAddressWalk walk(ip(ForeignSubnet::kCameraSecond), ip(ForeignSubnet::kSecondMask), r1,
                             r2);
        AdapterProber prober(lan0);
        std::uint32_t picked = 0;
        ASSERT_EQ(PickFreeAddress(walk, {}, prober, picked), PickResult::kFound);
        const std::uint32_t host = picked - ip("198.51.100.0");
        EXPECT_GE(host, 251u) << platform::ipv4Text(picked) << " is in use";
        EXPECT_LE(host, 254u) << "never the broadcast address";
    }
}

TEST_F(ForeignSubnetTest, TheHelperAddsAFreeAddressToTheAdapterThatReachesTheCamera)
{
    const HelperRun run = runHelper(prepareWords(
        ForeignSubnet::kCameraSecond, ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    platform::NetprepReport report;
    ASSERT_TRUE(platform::ParseNetprepReport(run.output, report)) << run.output;
    EXPECT_EQ(report.outcome, platform::NetprepOutcome::Added);
    EXPECT_EQ(report.adapter, ForeignSubnet::kPcAdapter);
    EXPECT_FALSE(report.foundByArp) << "the helper sees no physical adapter here";
    EXPECT_GE(report.address & 0xFF, 251u) << run.output;
    EXPECT_LE(report.address & 0xFF, 254u) << run.output;
    EXPECT_TRUE(platform::WaitForLocalAddress(htonl(report.address)));
    EXPECT_TRUE(platform::IsOnLocalSubnet(ip(ForeignSubnet::kCameraSecond),
                                          ip(ForeignSubnet::kSecondMask)));

    const HelperRun again = runHelper(prepareWords(
        ForeignSubnet::kCameraSecond, ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac));
    EXPECT_EQ(again.exitCode, 0);
    ASSERT_TRUE(platform::ParseNetprepReport(again.output, report)) << again.output;
    EXPECT_EQ(report.outcome, platform::NetprepOutcome::NotNeeded) << "never a second address";
}

TEST_F(ForeignSubnetTest, PreparationAddsOneAddressAndLogsIt)
{
    const platform::DeviceAddressInfo device{ForeignSubnet::kCameraSecond,
                                             ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac};
    std::uint32_t connect = 0;
    std::uint32_t added = 0;
    std::vector<std::string> log;
    ASSERT_TRUE(prepare(device, connect, added, log));
    EXPECT_EQ(connect, htonl(ip(ForeignSubnet::kCameraSecond)));
    EXPECT_TRUE(platform::WaitForLocalAddress(added));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("added " + platform::ipv4Text(ntohl(added)) +
                               "/24 to adapter lan0 for " + ForeignSubnet::kCameraMac,
                           0),
              0u)
        << log[0];

    // Another device of the same subnet needs nothing now.
    log.clear();
    EXPECT_FALSE(
        prepare({"198.51.100.20", "255.255.255.0", "00:1A:2B:00:00:14"}, connect, added, log));
    EXPECT_EQ(added, 0u);
    EXPECT_TRUE(log.empty());
}

TEST_F(ForeignSubnetTest, AddsNothingWhereNoAddressIsNeededOrPossible)
{
    struct Case
    {
        platform::DeviceAddressInfo device;
        std::uint32_t connect;
        bool logged;
    };
    const std::string cameraMac = ForeignSubnet::kCameraMac;
    const Case cases[] = {
        {{"169.254.7.8", "255.255.0.0", cameraMac}, htonl(ip("169.254.7.8")), false},
        {{"192.0.2.77", "255.255.255.0", cameraMac}, htonl(ip("192.0.2.77")), false},
        {{"", "", cameraMac}, 0, false},
        {{"198.51.100.10", "255.255.255.255", cameraMac}, htonl(ip("198.51.100.10")), true},
        {{"198.51.100.10", "not a mask", cameraMac}, htonl(ip("198.51.100.10")), false},
        {{"198.51.100.99", "255.255.255.0", cameraMac}, htonl(ip("198.51.100.99")), false},
    };
    // The PC holds .99 itself, alone, as the demo's namespace holds its cameras' addresses.
    ASSERT_TRUE(testing::runIp({"addr", "add", "198.51.100.99/32", "dev", "lo"}));
    for (const Case& c : cases) {
        std::uint32_t connect = 1;
        std::uint32_t added = 1;
        std::vector<std::string> log;
        // A helper that does not exist would be logged as missing if it were run.
        EXPECT_FALSE(prepare(c.device, connect, added, log, "/nonexistent/galvorn-netprep"))
            << c.device.ipAddr2;
        EXPECT_EQ(connect, c.connect) << c.device.ipAddr2;
        EXPECT_EQ(added, 0u) << c.device.ipAddr2;
        EXPECT_EQ(log.size(), c.logged ? 1u : 0u) << c.device.ipAddr2;
        for (const std::string& line : log)
            EXPECT_EQ(line.find("missing"), std::string::npos) << line;
    }
    EXPECT_FALSE(platform::IsOnLocalSubnet(ip(ForeignSubnet::kCameraSecond),
                                           ip(ForeignSubnet::kSecondMask)));
    EXPECT_TRUE(testing::runIp({"addr", "del", "198.51.100.99/32", "dev", "lo"}));
}

TEST_F(ForeignSubnetTest, TheHelperRefusesBadArgumentsWithExitCodeTwo)
{
    const std::vector<std::vector<std::string>> refused = {
        {kHelper},
        {kHelper, "prepare", "--address", "198.51.100.10"},
        prepareWords("198.51.100.10", "255.255.255.255", ForeignSubnet::kCameraMac),
        prepareWords("127.0.0.1", "255.0.0.0", ForeignSubnet::kCameraMac),
        prepareWords("169.254.1.1", "255.255.0.0", ForeignSubnet::kCameraMac),
        prepareWords("198.51.100.10", "255.255.255.0", "ff:ff:ff:ff:ff:ff"),
        prepareWords("198.51.100.10;reboot", "255.255.255.0", ForeignSubnet::kCameraMac),
    };
    for (const auto& words : refused) {
        const HelperRun run = runHelper(words);
        EXPECT_EQ(run.exitCode, 2) << words.back() << ": " << run.output;
        platform::NetprepReport report;
        ASSERT_TRUE(platform::ParseNetprepReport(run.output, report)) << run.output;
        EXPECT_EQ(report.outcome, platform::NetprepOutcome::Refused);
        EXPECT_FALSE(report.reason.empty());
    }
    EXPECT_FALSE(platform::IsOnLocalSubnet(ip(ForeignSubnet::kCameraSecond),
                                           ip(ForeignSubnet::kSecondMask)));
}

TEST_F(ForeignSubnetTest, WithoutCapabilitiesTheHelperOnlyTellsWhatItLacks)
{
    HelperRun run = runHelper(withoutCapabilities(prepareWords(
        ForeignSubnet::kCameraSecond, ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac)));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    platform::NetprepReport report;
    ASSERT_TRUE(platform::ParseNetprepReport(run.output, report)) << run.output;
    EXPECT_EQ(report.outcome, platform::NetprepOutcome::MissingCapability);
    EXPECT_EQ(report.capability, "CAP_NET_ADMIN");

    run = runHelper(withoutCapabilities(
        prepareWords("192.0.2.44", "255.255.255.0", ForeignSubnet::kCameraMac)));
    EXPECT_EQ(run.exitCode, 0) << "a local subnet needs no rights: " << run.output;
    ASSERT_TRUE(platform::ParseNetprepReport(run.output, report)) << run.output;
    EXPECT_EQ(report.outcome, platform::NetprepOutcome::NotNeeded);

    // The window's side through a helper that lacks its capabilities.
    const std::filesystem::path wrapper =
        std::filesystem::temp_directory_path() / ("netprep-nocaps-" + std::to_string(::getpid()));
    std::ofstream(wrapper) << "#!/bin/sh\nexec /usr/bin/setpriv --bounding-set -net_admin,-net_raw "
                              "-- "
                           << kHelper << " \"$@\"\n";
    std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
    std::uint32_t connect = 0;
    std::uint32_t added = 0;
    std::vector<std::string> log;
    EXPECT_FALSE(prepare(
        {ForeignSubnet::kCameraSecond, ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac},
        connect, added, log, wrapper.string()));
    std::filesystem::remove(wrapper);
    EXPECT_EQ(connect, htonl(ip(ForeignSubnet::kCameraSecond))) << "the run still connects there";
    EXPECT_EQ(added, 0u);
    EXPECT_EQ(log, std::vector<std::string>{std::string("cannot add an address for ") +
                                            ForeignSubnet::kCameraMac +
                                            ": the helper lacks CAP_NET_ADMIN; run ./run install"});
    EXPECT_FALSE(platform::IsOnLocalSubnet(ip(ForeignSubnet::kCameraSecond),
                                           ip(ForeignSubnet::kSecondMask)));
}

TEST_F(ForeignSubnetTest, AMissingHelperAndACancelAddNothing)
{
    const platform::DeviceAddressInfo device{ForeignSubnet::kCameraSecond,
                                             ForeignSubnet::kSecondMask, ForeignSubnet::kCameraMac};
    std::uint32_t connect = 0;
    std::uint32_t added = 0;
    std::vector<std::string> log;
    EXPECT_FALSE(prepare(device, connect, added, log, "/nonexistent/galvorn-netprep"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("is missing"), std::string::npos) << log[0];

    platform::CancelSignal cancel;
    cancel.fire();
    platform::PrepareOptions options;
    options.helper = kHelper;
    options.cancel = &cancel;
    log.clear();
    options.log = [&log](std::string_view line) { log.emplace_back(line); };
    EXPECT_FALSE(platform::PrepareDeviceAddress(device, connect, added, options));
    EXPECT_EQ(added, 0u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("cancelled"), std::string::npos) << log[0];
    EXPECT_FALSE(platform::WaitForLocalAddress(htonl(ip("198.51.100.251")),
                                               std::chrono::milliseconds(60000), &cancel))
        << "the wait ends at once on a fired signal";
}

} // namespace
} // namespace galvorn::netprep
