#pragma once

#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace galvorn::testing {

// True when the test runs in the network namespace that tests/netns/run-in-netns.sh made
// for it (it names the namespace in GALVORN_NETNS). Tests that add interfaces and routes,
// open connections or search refuse to run otherwise, so that a binary started by hand
// never touches the machine's own network.
inline bool inPrivateNetns()
{
    const char* declared = std::getenv("GALVORN_NETNS");
    char actual[64] = {};
    const ssize_t length = ::readlink("/proc/self/ns/net", actual, sizeof actual - 1);
    return declared && length > 0 &&
           std::string(actual, static_cast<std::size_t>(length)) == declared;
}

// Runs ip(8) with the arguments, without a shell and only ever inside the private
// namespace. True when it exits with 0.
inline bool runIp(std::vector<std::string> words)
{
    if (!inPrivateNetns())
        return false;
    words.insert(words.begin(), "ip");
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace galvorn::testing
