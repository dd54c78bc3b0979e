#pragma once

#include "tools/devsim/cameraprofile.h"
#include "tools/devsim/deviceface.h"
#include "tools/devsim/facetransfers.h"
#include "tools/devsim/reactor.h"
#include "tools/devsim/searchface.h"
#include "tools/devsim/webface.h"

#include <chrono>
#include <string>
#include <string_view>

namespace galvorn::devsim {

// One simulated camera. Its state (profile, running time, silence, answer mode) lives
// here; each face shows it on one network service: the search face answers probes, the
// web face serves a page naming the camera, the device face speaks the device protocol
// on the data port. A further face is one more member that is opened in open() and reads
// the same state.
class Camera
{
public:
    Camera(CameraProfile profile, Reactor& reactor);

    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Opens every face. On failure returns false with the reason in `error`.
    bool open(std::string& error);

    const CameraProfile& profile() const { return profile_; }
    // Changes an answer field or a device.* setting. Empty result on success, else the
    // reason.
    std::string set(std::string_view key, std::string_view value);
    // Sends the device events to every client logged in to the device face.
    void sendDeviceEvents() { device_.sendEvents(); }
    // Writes the face library to its folder now; false when it cannot be written.
    bool saveFaceLibrary() { return faceLibrary_.persist(); }
    void setSilenced(bool silenced) { silenced_ = silenced; }
    bool silenced() const { return silenced_; }
    void setAnswerMode(AnswerMode mode) { mode_ = mode; }

    // The search answer as of now; the running time advances by the second.
    std::string answerXml() const;

private:
    using Clock = std::chrono::steady_clock;

    CameraProfile profile_;
    Clock::time_point runningSince_;
    bool silenced_ = false;
    AnswerMode mode_ = AnswerMode::Normal;
    SearchFace search_;
    WebFace web_;
    // Before the device face, which answers the face-library requests from it.
    FaceTransferService faceLibrary_;
    DeviceFace device_;
};

} // namespace galvorn::devsim
