#pragma once

#include "tools/devsim/deviceface.h"
#include "tools/devsim/reactor.h"

#include <fstream>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The simulator's device-protocol face on a thread of the test, listening on 127.0.0.1 at
// an ephemeral port, so that the session tests talk to a real camera double.
class FaceThread
{
public:
    explicit FaceThread(galvorn::devsim::DeviceFaceSettings settings)
        : face_(std::move(settings), reactor_)
    {
        std::string error;
        opened_ = face_.open(error);
        error_ = error;
        stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        reactor_.watch(stopFd_, POLLIN, [this](short) { reactor_.stop(); });
        thread_ = std::thread([this] { reactor_.run(); });
    }
    ~FaceThread()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
        ::close(stopFd_);
    }
    FaceThread(const FaceThread&) = delete;
    FaceThread& operator=(const FaceThread&) = delete;

    bool opened() const { return opened_; }
    const std::string& error() const { return error_; }
    std::uint16_t port() const { return face_.port(); }

private:
    galvorn::devsim::Reactor reactor_;
    galvorn::devsim::DeviceFace face_;
    bool opened_ = false;
    std::string error_;
    int stopFd_ = -1;
    std::thread thread_;
};

// One line of a recording file: its key=value fields.
using Recorded = std::map<std::string, std::string>;

inline std::vector<Recorded> readRecording(const std::string& path)
{
    std::vector<Recorded> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        Recorded fields;
        std::istringstream items(line);
        for (std::string item; std::getline(items, item, '\t');) {
            const auto equals = item.find('=');
            if (equals != std::string::npos)
                fields[item.substr(0, equals)] = item.substr(equals + 1);
        }
        lines.push_back(fields);
    }
    return lines;
}
