// The multi-namespace test hosts (tests/netns/multi-netns.sh): cameras in two camera
// namespaces are found by a search from the pc namespace. The test runs this binary a
// second time, in the pc namespace, for the pc's side.

#include "callbackrecorder.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "tools/devsim/privatenetwork.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;

// Set for the pc's side: the cameras to expect, as "MAC=address" separated by spaces.
constexpr const char* kExpectVariable = "GALVORN_HOSTS_EXPECT";
constexpr int kNoNamespaces = 77;

std::map<std::string, std::string> expectedCameras(const char* text)
{
    std::map<std::string, std::string> cameras;
    std::istringstream in(text);
    for (std::string item; in >> item;) {
        const auto equals = item.find('=');
        cameras[item.substr(0, equals)] = item.substr(equals + 1);
    }
    return cameras;
}

TEST(PcSide, FindsEveryCameraOfTheCameraNamespaces)
{
    const char* expect = std::getenv(kExpectVariable);
    if (!expect)
        GTEST_SKIP() << "runs only in the pc namespace of tests/netns/multi-netns.sh";
    std::string reason;
    ASSERT_TRUE(devsim::inDeclaredNamespace(reason)) << reason;
    const auto cameras = expectedCameras(expect);

    CallbackRecorder recorder;
    ASSERT_EQ(QUARLO_SEARCH_Initial(&CallbackRecorder::callback, &recorder, 32), QUARLO_SEARCH_OK);
    ASSERT_EQ(galvorn::searchlib::startAutoMilliseconds(1000), QUARLO_SEARCH_OK);
    const bool found = recorder.waitFor(
        [&](const Events& e) {
            return CallbackRecorder::count(e, QUARLO_SEARCH_DEVICE_NEW) >= cameras.size();
        },
        5s);
    EXPECT_EQ(QUARLO_SEARCH_Quit(), QUARLO_SEARCH_OK);
    ASSERT_TRUE(found);

    const Events events = recorder.events();
    EXPECT_EQ(CallbackRecorder::count(events, QUARLO_SEARCH_DEVICE_NEW), cameras.size());
    for (const auto& [mac, address] : cameras) {
        const auto reported = std::find_if(events.begin(), events.end(), [&](const auto& e) {
            return e.mac == mac && e.type == QUARLO_SEARCH_DEVICE_NEW;
        });
        ASSERT_NE(reported, events.end()) << mac;
        EXPECT_NE(reported->xml.find("<ip>" + address + "</ip>"), std::string::npos)
            << reported->xml;
    }
}

std::string writeConfig(const std::filesystem::path& dir, const std::string& name,
                        const std::string& text)
{
    const auto path = dir / name;
    std::ofstream(path) << text;
    return path.string();
}

std::string camera(const std::string& mac, const std::string& bind, const std::string& extra = "")
{
    return "[camera]\nmac = " + mac + "\nbind = " + bind + "\nhttpPort = 0\n" + extra;
}

// Runs the harness with this binary's pc side; returns its exit status.
int runHarness(const std::vector<std::string>& configs, const std::string& expect)
{
    const std::string harness = std::string(GALVORN_SOURCE_DIR) + "/tests/netns/multi-netns.sh";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args = {harness, "--devsim",
                                     std::string(GALVORN_BIN_DIR) + "/galvorn-devsim"};
    for (const auto& config : configs) {
        args.push_back("--camera");
        args.push_back(config);
    }
    args.insert(args.end(), {"--", self, "--gtest_filter=PcSide.*"});
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment = {std::string(kExpectVariable) + "=" + expect};
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    if (::posix_spawn(&pid, harness.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MultiNamespaceHosts, CamerasInTwoNamespacesAreFoundFromThePc)
{
    char pattern[] = "/tmp/hosts-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::vector<std::string> configs = {
        writeConfig(dir, "first.conf",
                    camera("00:1A:2B:00:01:01", "192.0.2.11", "ip2 = 198.51.100.11\n")),
        writeConfig(dir, "second.conf",
                    camera("00:1A:2B:00:02:01", "192.0.2.12") +
                        camera("00:1A:2B:00:02:02", "198.51.100.12")),
    };
    const int status = runHarness(configs, "00:1A:2B:00:01:01=192.0.2.11 "
                                           "00:1A:2B:00:02:01=192.0.2.12 "
                                           "00:1A:2B:00:02:02=198.51.100.12");
    std::filesystem::remove_all(dir);
    if (status == kNoNamespaces)
        GTEST_SKIP() << "this machine does not allow creating network namespaces";
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace galvorn::testing
