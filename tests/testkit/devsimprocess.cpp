#include "testkit/devsimprocess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace galvorn::testing {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Time a healthy simulator needs to start or to answer one command, with room for the
// sanitizer builds.
constexpr auto kReadyTimeout = 20s;
constexpr auto kReplyTimeout = 10s;
constexpr auto kExitTimeout = 10s;

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Waits for the child to exit within the timeout; a blocking waitpid would hang a test
// for ever on a simulator that does not quit.
int reap(pid_t pid, std::chrono::milliseconds timeout)
{
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd exited{pidFd, POLLIN, 0};
    const bool done = pidFd >= 0 && ::poll(&exited, 1, static_cast<int>(timeout.count())) == 1;
    if (pidFd >= 0)
        ::close(pidFd);
    if (!done)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return done && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

DevsimProcess::~DevsimProcess()
{
    if (pid_ > 0)
        quit();
    if (!configPath_.empty())
        std::remove(configPath_.c_str());
}

bool DevsimProcess::start(const std::string& config, std::string& error,
                          const std::vector<std::string>& launcher)
{
    char path[] = "/tmp/devsim-test-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        error = "cannot create the configuration file";
        return false;
    }
    ::close(fd);
    configPath_ = path;
    std::ofstream(configPath_) << config;

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        error = "cannot create pipes";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string program = std::string(GALVORN_BIN_DIR) + "/galvorn-devsim";
    std::vector<std::string> words = launcher;
    words.insert(words.end(), {program, configPath_});
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        error = "cannot start " + program;
        return false;
    }
    std::string line;
    if (!readLine(line, kReadyTimeout) || line != "ready") {
        error = "the simulator did not get ready (" + line + ")";
        return false;
    }
    return true;
}

std::string DevsimProcess::command(const std::string& line)
{
    const std::string text = line + "\n";
    if (::write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return {};
    std::string reply;
    readLine(reply, kReplyTimeout);
    return reply;
}

int DevsimProcess::quit()
{
    if (pid_ <= 0)
        return -1;
    [[maybe_unused]] const auto written = ::write(toChild_, "quit\n", 5);
    closeFd(toChild_);
    const int status = reap(pid_, kExitTimeout);
    pid_ = -1;
    closeFd(fromChild_);
    return status;
}

bool DevsimProcess::readLine(std::string& line, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{fromChild_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char chunk[512];
        const ssize_t length = ::read(fromChild_, chunk, sizeof chunk);
        if (length <= 0)
            return false;
        pending_.append(chunk, static_cast<std::size_t>(length));
    }
}

std::string testCameraMac(int index)
{
    char text[18];
    std::snprintf(text, sizeof text, "00:1A:2B:00:%02X:%02X", (index >> 8) & 0xFF, index & 0xFF);
    return text;
}

std::string testCameraSection(int index, const std::string& extra)
{
    const std::string bind =
        "127.0." + std::to_string(1 + index / 250) + "." + std::to_string(1 + index % 250);
    return "[camera]\nmac = " + testCameraMac(index) + "\nbind = " + bind + "\ndevName = Camera " +
           std::to_string(index) + "\n" + extra;
}

} // namespace galvorn::testing
