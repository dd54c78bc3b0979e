#include "testkit/childnetns.h"

#include "testkit/privatenetns.h"

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace galvorn::testing {

namespace {

// The child: its own network namespace, then it sleeps until it is killed, by its owner
// or by the death of its parent. Only system calls after the fork: the parent may have
// threads.
[[noreturn]] void holdNamespace(int ready)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char byte = ::unshare(CLONE_NEWNET) == 0 ? 1 : 0;
    [[maybe_unused]] const auto written = ::write(ready, &byte, 1);
    ::close(ready);
    for (;;)
        ::pause();
}

} // namespace

ChildNetns::ChildNetns()
{
    if (!inPrivateNetns())
        return;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return;
    const pid_t child = ::fork();
    if (child == 0)
        holdNamespace(ready[1]);
    ::close(ready[1]);
    char made = 0;
    const bool started = child > 0 && ::read(ready[0], &made, 1) == 1 && made == 1;
    ::close(ready[0]);
    if (child > 0)
        pid_ = child;
    if (!started || !ip({"link", "set", "lo", "up"}))
        release();
}

ChildNetns::~ChildNetns()
{
    release();
}

void ChildNetns::release()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

std::string ChildNetns::id() const
{
    char text[64] = {};
    const std::string path = "/proc/" + std::to_string(pid_) + "/ns/net";
    const ssize_t length = ::readlink(path.c_str(), text, sizeof text - 1);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

std::vector<std::string> ChildNetns::enter() const
{
    return {"nsenter", "--net=/proc/" + std::to_string(pid_) + "/ns/net"};
}

bool ChildNetns::ip(const std::vector<std::string>& words) const
{
    if (pid_ <= 0 || !inPrivateNetns())
        return false;
    std::vector<std::string> command = enter();
    command.push_back("ip");
    command.insert(command.end(), words.begin(), words.end());
    return runProgram(command);
}

bool ChildNetns::ipBatch(const std::string& commands) const
{
    if (pid_ <= 0 || !inPrivateNetns())
        return false;
    std::vector<std::string> command = enter();
    command.insert(command.end(), {"ip", "-batch", "-"});
    return runProgram(command, commands);
}

bool runProgram(const std::vector<std::string>& words, const std::string& input)
{
    // The input waits in memory, so that a program that ends before reading it all
    // cannot break a pipe under this process.
    const int in = ::memfd_create("input", MFD_CLOEXEC);
    if (in < 0 || ::write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
        ::lseek(in, 0, SEEK_SET) != 0) {
        if (in >= 0)
            ::close(in);
        return false;
    }
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& word : copy)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in);
    int status = 0;
    return spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace galvorn::testing
