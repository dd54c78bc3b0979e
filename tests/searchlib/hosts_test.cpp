// The multi-namespace test hosts (tests/netns/multi-netns.sh): cameras in two camera
// namespaces are found by a search from the pc namespace. The test runs this binary a
// second time, in the pc namespace, for the pc's side.

#include "callbackrecorder.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "tools/devsim/privatenetwork.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace galvorn::testing {
namespace {

using namespace std::chrono_literals;
using Events = CallbackRecorder::Events;

// Set for the pc's side: the cameras to expect, as "MAC=address" separated by spaces.
constexpr const char* kExpectVariable = "GALVORN_HOSTS_EXPECT";
// Set for the pc's side that only holds until it is killed; it prints the line below.
constexpr const char* kHoldVariable = "GALVORN_HOSTS_HOLD";
constexpr const char* kHoldingLine = "pc side holding";
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
        // A structured binding is captured through a copy: clang does not capture one.
        const auto reported =
            std::find_if(events.begin(), events.end(), [&, key = mac](const auto& e) {
                return e.mac == key && e.type == QUARLO_SEARCH_DEVICE_NEW;
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

// One run of the harness, with a pc side that is one PcSide test of this binary. Owns
// the harness process and the pipes to its standard input and output.
class HarnessRun
{
public:
    ~HarnessRun()
    {
        if (pid_ > 0)
            wait();
    }

    bool start(const std::vector<std::string>& configs, const std::string& pcTest,
               const std::vector<std::string>& environmentAdditions)
    {
        const std::string harness = std::string(GALVORN_SOURCE_DIR) + "/tests/netns/multi-netns.sh";
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> args = {harness, "--devsim",
                                         std::string(GALVORN_BIN_DIR) + "/galvorn-devsim"};
        for (const auto& config : configs) {
            args.push_back("--camera");
            args.push_back(config);
        }
        args.insert(args.end(), {"--", self, "--gtest_filter=PcSide." + pcTest});
        std::vector<std::string> environment = environmentAdditions;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);

        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const int spawned = ::posix_spawn(&pid_, harness.c_str(), &actions, nullptr,
                                          pointers(args).data(), pointers(environment).data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toHarness_ = in[1];
        fromHarness_ = out[0];
        if (spawned != 0)
            pid_ = -1;
        return spawned == 0;
    }

    pid_t pid() const { return pid_; }

    // True once a line equal to `wanted` arrived; false at the end of the output or after
    // the timeout.
    bool awaitLine(const std::string& wanted, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string pending;
        for (;;) {
            for (auto end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                if (pending.substr(0, end) == wanted)
                    return true;
                pending.erase(0, end + 1);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{fromHarness_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char chunk[512];
            const ssize_t length = ::read(fromHarness_, chunk, sizeof chunk);
            if (length <= 0)
                return false;
            pending.append(chunk, static_cast<std::size_t>(length));
        }
    }

    void kill(int signal) { ::kill(pid_, signal); }

    // Ends the harness's input, passes the rest of its output on until the output ends,
    // and waits for the harness. Its exit status, or -1 after a signal.
    int wait()
    {
        ::close(toHarness_);
        char chunk[512];
        pollfd readable{fromHarness_, POLLIN, 0};
        for (ssize_t length = 1; length > 0 && ::poll(&readable, 1, kDrainTimeoutMs) == 1;) {
            length = ::read(fromHarness_, chunk, sizeof chunk);
            if (length > 0)
                std::fwrite(chunk, 1, static_cast<std::size_t>(length), stdout);
        }
        ::close(fromHarness_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    // Longest quiet time of a harness that is still working.
    static constexpr int kDrainTimeoutMs = 30'000;

    static std::vector<char*> pointers(std::vector<std::string>& texts)
    {
        std::vector<char*> result;
        for (auto& text : texts)
            result.push_back(text.data());
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    int toHarness_ = -1;
    int fromHarness_ = -1;
};

// A folder of camera configurations: one namespace with one camera, one with two.
class HostsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/hosts-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        configs_ = {
            writeConfig(dir_, "first.conf",
                        camera("00:1A:2B:00:01:01", "192.0.2.11", "ip2 = 198.51.100.11\n")),
            writeConfig(dir_, "second.conf",
                        camera("00:1A:2B:00:02:01", "192.0.2.12") +
                            camera("00:1A:2B:00:02:02", "198.51.100.12")),
        };
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
    std::vector<std::string> configs_;
};

TEST_F(HostsTest, CamerasInTwoNamespacesAreFoundFromThePc)
{
    HarnessRun run;
    ASSERT_TRUE(run.start(configs_, "FindsEveryCameraOfTheCameraNamespaces",
                          {std::string(kExpectVariable) + "=00:1A:2B:00:01:01=192.0.2.11 "
                                                          "00:1A:2B:00:02:01=192.0.2.12 "
                                                          "00:1A:2B:00:02:02=198.51.100.12"}));
    const int status = run.wait();
    if (status == kNoNamespaces)
        GTEST_SKIP() << "this machine does not allow creating network namespaces";
    EXPECT_EQ(status, 0);
}

TEST(PcSide, HoldsUntilItsInputEnds)
{
    if (!std::getenv(kHoldVariable))
        GTEST_SKIP() << "runs only in the pc namespace of tests/netns/multi-netns.sh";
    std::string reason;
    ASSERT_TRUE(devsim::inDeclaredNamespace(reason)) << reason;
    const std::string line = std::string(kHoldingLine) + "\n";
    ASSERT_EQ(::write(STDOUT_FILENO, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

// The processes other than `except` whose command line mentions `text`.
std::vector<pid_t> processesMentioning(const std::string& text, pid_t except)
{
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string commandLine((std::istreambuf_iterator<char>(in)), {});
        const pid_t pid = std::stoi(name);
        if (pid != except && commandLine.find(text) != std::string::npos)
            found.push_back(pid);
    }
    return found;
}

bool exitsWithin(pid_t pid, std::chrono::milliseconds timeout)
{
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd < 0)
        return errno == ESRCH;
    pollfd exited{pidFd, POLLIN, 0};
    const bool done = ::poll(&exited, 1, static_cast<int>(timeout.count())) == 1;
    ::close(pidFd);
    return done;
}

TEST_F(HostsTest, AKilledRunLeavesNoProcessNamespaceOrFolderBehind)
{
    HarnessRun run;
    ASSERT_TRUE(run.start(configs_, "HoldsUntilItsInputEnds", {std::string(kHoldVariable) + "=1"}));
    const pid_t harness = run.pid();
    if (!run.awaitLine(kHoldingLine, 20s)) {
        if (run.wait() == kNoNamespaces)
            GTEST_SKIP() << "this machine does not allow creating network namespaces";
        FAIL() << "the pc side did not start";
    }
    // Besides the harness, the two simulators name their configuration folder and the
    // pc side names its test.
    std::vector<pid_t> started = processesMentioning(dir_.string(), harness);
    ASSERT_EQ(started.size(), 2u);
    const auto pcSide = processesMentioning("PcSide.HoldsUntilItsInputEnds", harness);
    ASSERT_EQ(pcSide.size(), 1u);
    started.push_back(pcSide.front());

    run.kill(SIGKILL);
    run.wait();
    for (const pid_t pid : started)
        EXPECT_TRUE(exitsWithin(pid, 10s)) << "process " << pid << " outlived the harness";

    const std::string prefix = "gvns" + std::to_string(harness) + "x";
    std::FILE* list = ::popen("ip netns list", "r");
    ASSERT_NE(list, nullptr);
    char line[256];
    while (std::fgets(line, sizeof line, list))
        EXPECT_NE(std::string(line).rfind(prefix, 0), 0u) << line;
    ::pclose(list);
    for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
        EXPECT_NE(entry.path().filename().string().rfind(prefix, 0), 0u) << entry.path();
}

} // namespace
} // namespace galvorn::testing
