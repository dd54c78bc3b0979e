#include "tools/devsim/camera.h"

#include <cstdlib>

namespace galvorn::devsim {

Camera::Camera(CameraProfile profile, Reactor& reactor)
    : profile_(std::move(profile)), runningSince_(Clock::now()), search_(*this, reactor),
      web_(*this, reactor)
{}

bool Camera::open(std::string& error)
{
    return search_.open(error) && web_.open(error);
}

std::string Camera::set(std::string_view key, std::string_view value)
{
    // These name where the faces listen; the faces are not moved while running.
    if (key == "mac" || key == "bind" || key == "httpPort")
        return std::string(key) + " cannot change while running";
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
