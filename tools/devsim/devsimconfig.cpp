#include "tools/devsim/devsimconfig.h"

#include "platform/netif.h"
#include "tools/devsim/deviceface_config.h"

#include <set>

namespace galvorn::devsim {

namespace {

constexpr std::string_view kSpace = " \t\r";
constexpr std::string_view kCameraSection = "[camera]";

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

// Applies one "key = value" line to a camera. Empty result on success.
std::string applyLine(CameraProfile& camera, std::string_view key, std::string_view value,
                      bool& haveMac)
{
    if (key == "mac") {
        const auto mac = searchlib::MacAddress::parse(value);
        if (!mac || !mac->isUnicast())
            return "not a unicast MAC address";
        camera.mac = *mac;
        haveMac = true;
        return {};
    }
    if (isDeviceFaceKey(key))
        return setDeviceFaceKey(camera.device, key, value);
    if (key.starts_with(kFaceLibraryKeyPrefix))
        return applyFaceLibrarySetting(camera.faceLibrary, key, value);
    if (key == "bind") {
        if (!platform::parseIpv4(std::string(value), camera.bindAddress) || camera.bindAddress == 0)
            return "bind is not a dotted IPv4 address";
        return {};
    }
    return camera.set(key, value);
}

// Fills what the other fields imply and checks what a camera needs. Empty on success.
std::string finish(CameraProfile& camera, bool haveMac)
{
    if (!haveMac)
        return "camera without mac";
    if (camera.bindAddress == 0 &&
        !platform::parseIpv4(camera.value(Field::Ip), camera.bindAddress))
        return "camera " + camera.mac.text() + " has neither bind nor ip";
    if (camera.value(Field::Ip).empty())
        camera.set("ip", platform::ipv4Text(camera.bindAddress));
    return {};
}

} // namespace

bool parseDevsimConfig(std::string_view text, DevsimConfig& config, std::string& error)
{
    config.cameras.clear();
    std::set<std::uint64_t> macs;
    bool inCamera = false;
    bool haveMac = false;
    std::size_t sectionLine = 0;
    auto closeCamera = [&]() {
        if (!inCamera)
            return true;
        CameraProfile& camera = config.cameras.back();
        if (std::string reason = finish(camera, haveMac); !reason.empty()) {
            error = "line " + std::to_string(sectionLine) + ": " + reason;
            return false;
        }
        if (!macs.insert(camera.mac.key()).second) {
            error = "line " + std::to_string(sectionLine) + ": duplicate mac " + camera.mac.text();
            return false;
        }
        return true;
    };

    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line == kCameraSection) {
            if (!closeCamera())
                return false;
            if (config.cameras.size() == kMaxCameras) {
                error = where + "more than " + std::to_string(kMaxCameras) + " cameras";
                return false;
            }
            config.cameras.emplace_back();
            inCamera = true;
            haveMac = false;
            sectionLine = lineNumber;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = where + "expected [camera] or key = value";
            return false;
        }
        if (!inCamera) {
            error = where + "key outside a [camera] section";
            return false;
        }
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        if (std::string reason = applyLine(config.cameras.back(), key, value, haveMac);
            !reason.empty()) {
            error = where + reason;
            return false;
        }
    }
    if (!closeCamera())
        return false;
    if (config.cameras.empty()) {
        error = "no [camera] section";
        return false;
    }
    return true;
}

} // namespace galvorn::devsim
