#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

// A galvorn-devsim process playing the cameras of a configuration, driven through its
// control lines on stdin and stdout. The destructor asks it to quit and reaps it.
class DevsimChild
{
public:
    DevsimChild() = default;
    ~DevsimChild();
    DevsimChild(const DevsimChild&) = delete;
    DevsimChild& operator=(const DevsimChild&) = delete;

    // Writes the configuration to a file, starts the simulator and waits for "ready".
    bool start(const std::string& config, std::string& error);
    // Sends one control line; the reply line, empty when none came in time.
    std::string command(const std::string& line);

private:
    bool readLine(std::string& line, std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    std::string configPath_;
};
