#include "tools/devsim/camera.h"

#include "tools/devsim/deviceface_config.h"

#include <cstdlib>

namespace galvorn::devsim {

namespace {

// The device face listens where the camera says it does.
DeviceFaceSettings deviceSettings(const CameraProfile& profile)
{
    DeviceFaceSettings settings = profile.device;
    settings.bindAddress = profile.bindAddress;
    settings.port = profile.port(Field::DataPort);
    settings.mac = profile.mac.bytes;
    return settings;
}

} // namespace

Camera::Camera(CameraProfile profile, Reactor& reactor)
    : profile_(std::move(profile)), runningSince_(Clock::now()), search_(*this, reactor),
      web_(*this, reactor), faceLibrary_(profile_.faceLibrary),
      device_(deviceSettings(profile_), reactor)
{}

bool Camera::open(std::string& error)
{
    // A data port of 0 means no device face.
    if (!faceLibrary_.open(error))
        return false;
    device_.setFaceLibrary(&faceLibrary_);
    return search_.open(error) && web_.open(error) &&
           (profile_.port(Field::DataPort) == 0 || device_.open(error));
}

std::string Camera::set(std::string_view key, std::string_view value)
{
    // These name where the faces listen; the faces are not moved while running. (A new
    // dataPort changes the answer only: the device face stays where it listens.)
    if (key == "mac" || key == "bind" || key == "httpPort" || key == "device.record" ||
        key == "facelib.folder" || key == "facelib.seedPersons")
        return std::string(key) + " cannot change while running";
    if (key.starts_with(kFaceLibraryKeyPrefix))
        return applyFaceLibrarySetting(faceLibrary_.settings(), key, value);
    if (isDeviceFaceKey(key))
        return setDeviceFaceKey(device_.settings(), key, value);
    std::string reason = profile_.set(key, value);
    if (reason.empty() && key == "runningTime")
        runningSince_ = Clock::now();
    return reason;
}

std::string Camera::answerXml() const
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - runningSince_);
    const std::uint64_t base =
        std::strtoull(profile_.value(Field::RunningTime).c_str(), nullptr, 10);
    return profile_.answerXml(base + static_cast<std::uint64_t>(elapsed.count()), mode_);
}

} // namespace galvorn::devsim
