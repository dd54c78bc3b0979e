#pragma once

#include "tools/devsim/deviceface.h"
#include "tools/devsim/facetransfers.h"
#include "tools/devsim/reactorthread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
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
            faces_.push_back(
                std::make_unique<galvorn::devsim::DeviceFace>(settings[i], thread_.reactor()));
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
        thread_.start();
    }

    ~Cameras()
    {
        thread_.stop();
        faces_.clear();
        libraries_.clear();
    }

    Cameras(const Cameras&) = delete;
    Cameras& operator=(const Cameras&) = delete;

    std::uint16_t port(std::size_t camera) const { return faces_.at(camera)->port(); }
    std::size_t size() const { return faces_.size(); }

private:
    galvorn::devsim::ReactorThread thread_;
    std::vector<std::unique_ptr<galvorn::devsim::FaceTransferService>> libraries_;
    std::vector<std::unique_ptr<galvorn::devsim::DeviceFace>> faces_;
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
