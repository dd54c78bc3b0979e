#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace galvorn::testing {

// One galvorn-devsim child process, driven through its control channel. Owns the child,
// its pipes and its configuration file; the destructor asks the child to quit and reaps it.
class DevsimProcess
{
public:
    DevsimProcess() = default;
    ~DevsimProcess();

    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    // Writes the configuration, starts the simulator and waits for its "ready" line.
    // On failure returns false with the reason in `error`. `launcher` words go before the
    // simulator's, e.g. to start it in another network namespace.
    bool start(const std::string& config, std::string& error,
               const std::vector<std::string>& launcher = {});

    // Sends one control line and returns the reply line ("ok", "error ...", or empty when
    // the simulator did not answer in time).
    std::string command(const std::string& line);

    // Sends "quit" and waits for the exit. The exit status, or -1 when it had to be killed.
    int quit();

private:
    bool readLine(std::string& line, std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    std::string configPath_;
};

// The simulator's configuration section for test camera number `index` (0..1023): MAC
// 00:1A:2B:00:HH:LL, bound to a loopback address of its own, named "Camera <index>".
// `extra` lines are added to the section.
std::string testCameraSection(int index, const std::string& extra = "httpPort = 0\n");
std::string testCameraMac(int index);

} // namespace galvorn::testing
