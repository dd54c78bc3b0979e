#pragma once

#include "searchlib/macaddress.h"
#include "tools/devsim/deviceface_settings.h"
#include "tools/devsim/facetransfers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace galvorn::devsim {

// The values a simulated camera reports in its search answer. The keys are the names used
// in the configuration file and by the control command "set".
enum class Field
{
    ProductSeries,
    DevName,
    ProductModel,
    SoftwareVer,
    Build,
    SoftwareBuildDate,
    HardwareVer,
    KernelVer,
    BootTime,
    RunningTime,
    Ip,
    Mask,
    Route,
    DhcpSwitch,
    Ip2,
    Mask2,
    Dns1,
    Dns2,
    DataPort,
    HttpPort,
    RtspPort,
    Count
};

inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::Count);
// Longest value of any field, so that every answer fits in one datagram.
inline constexpr std::size_t kMaxFieldLength = 255;

// What the camera puts into its answers.
enum class AnswerMode
{
    Normal,
    // A well-formed document under another root element.
    Foreign,
    // The normal document cut off in the middle.
    Malformed
};

// One camera's identity: its MAC, the address its faces bind and its answer fields.
class CameraProfile
{
public:
    // Every field at its default.
    CameraProfile();

    searchlib::MacAddress mac;
    // Host byte order. 0 until configured.
    std::uint32_t bindAddress = 0;
    // The device-protocol face: the device.* keys. Its address, port and MAC are taken
    // from bindAddress, dataPort and mac when the camera opens.
    DeviceFaceSettings device;
    // The face library behind the device face: the facelib.* keys.
    FaceLibrarySettings faceLibrary;

    const std::string& value(Field field) const { return values_[index(field)]; }
    // Checks the value against the field's kind. Empty result on success, else the reason.
    std::string set(std::string_view key, std::string_view value);
    std::uint16_t port(Field field) const;

    // The multicastSearchResult document with the given running time, in the given mode.
    std::string answerXml(std::uint64_t runningSeconds, AnswerMode mode) const;

    // Looks up a field by its key. False for an unknown key.
    static bool fieldByKey(std::string_view key, Field& field);

private:
    static std::size_t index(Field field) { return static_cast<std::size_t>(field); }

    std::array<std::string, kFieldCount> values_;
};

} // namespace galvorn::devsim
