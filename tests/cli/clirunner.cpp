#include "clirunner.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> all;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!extra.contains(text.substr(0, text.find('='))))
            all.push_back(text);
    }
    for (const auto& [name, value] : extra)
        all.push_back(name + "=" + value);
    return all;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> all;
    for (std::string& text : texts)
        all.push_back(text.data());
    all.push_back(nullptr);
    return all;
}

// Reads both pipes until they close or the deadline passes; false on the deadline.
bool drain(int out, int err, CliResult& result, Clock::time_point deadline)
{
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            fds[i].fd = -1;
            --open;
        }
    }
    return true;
}

} // namespace

CliResult runCli(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment, std::chrono::seconds limit)
{
    CliResult result;
    const auto started = Clock::now();
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> argv{std::string(GALVORN_BIN_DIR) + "/galvorn-cli"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = environmentWith(environment);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv.front().c_str(), &actions, nullptr,
                                      pointers(argv).data(), pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned == 0 && !drain(out[0], err[0], result, started + limit))
        ::kill(pid, SIGKILL);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    return result;
}
