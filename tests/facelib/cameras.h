#pragma once

#include "tools/devsim/deviceface.h"
#include "tools/devsim/facetransfers.h"
#include "tools/devsim/reactor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Simulated cameras for the runner tests: the simulator's device-protocol face, one per
// camera, each on its own ephemeral port, all served by one reactor thread of the test.
// The settings are fixed before the thread starts. Cameras given face-library settings
// answer the face-library requests from a library of their own; the others from an empty
// one.
class Cameras
{
public:
    explicit Cameras(std::vector<galvorn::devsim::DeviceFaceSettings> settings,
                     std::vector<galvorn::devsim::FaceLibrarySettings> libraries = {})
    {
        for (std::size_t i = 0; i < settings.size(); ++i) {
            faces_.push_back(std::make_unique<galvorn::devsim::DeviceFace>(settings[i], reactor_));
            std::string error;
            if (i < libraries.size()) {
                libraries_.push_back(
                    std::make_unique<galvorn::devsim::FaceTransferService>(libraries[i]));
                if (!libraries_.back()->open(error))
                    ADD_FAILURE() << "camera " << i << " library: " << error;
                faces_.back()->setFaceLibrary(libraries_.back().get());
            }
            if (!faces_.back()->open(error))
                ADD_FAILURE() << "camera " << i << ": " << error;
        }
        stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        reactor_.watch(stopFd_, POLLIN, [this](short) { reactor_.stop(); });
        thread_ = std::thread([this] { reactor_.run(); });
    }

    ~Cameras()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
        faces_.clear();
        libraries_.clear();
        reactor_.unwatch(stopFd_);
        ::close(stopFd_);
    }

    Cameras(const Cameras&) = delete;
    Cameras& operator=(const Cameras&) = delete;

    std::uint16_t port(std::size_t camera) const { return faces_.at(camera)->port(); }
    std::size_t size() const { return faces_.size(); }

private:
    galvorn::devsim::Reactor reactor_;
    std::vector<std::unique_ptr<galvorn::devsim::FaceTransferService>> libraries_;
    std::vector<std::unique_ptr<galvorn::devsim::DeviceFace>> faces_;
    int stopFd_ = -1;
    std::thread thread_;
};

// The lines of a camera's recording file that record a login, as the camera judged it.
inline std::vector<std::string> recordedLogins(const std::string& path)
{
    std::vector<std::string> logins;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.find("name=CMD_LOGIN") != std::string::npos)
            logins.push_back(line);
    return logins;
}
