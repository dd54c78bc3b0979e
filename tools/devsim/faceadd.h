#pragma once

#include "tools/devsim/facelibrary.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace galvorn::devsim {

// Device results of the add request (CMD_FACE_IMAGE_ADD).
inline constexpr std::int32_t kAddParameterError = -2;
inline constexpr std::int32_t kAddLibraryFull = -9;
inline constexpr std::int32_t kAddPictureFormat = -11;
inline constexpr std::int32_t kAddPictureData = -12;
inline constexpr std::int32_t kAddPictureTooLarge = -18;

// How the camera answers add requests, beyond checking them; the add keys among the
// facelib.* keys. "Person N" is the request whose sequence number (its parameter) is N.
struct FaceAddRules
{
    // Every valid person is refused with this code (0: none).
    std::int32_t refuseAll = 0;
    // Valid persons whose name starts with refusedNamePrefix are refused with
    // refusedNameCode (empty prefix: none).
    std::string refusedNamePrefix;
    std::int32_t refusedNameCode = 0;
    // Valid persons refused by sequence number: number to code.
    std::map<std::uint32_t, std::int32_t> refusedSequences;
    // Person N gets no answer; the connection goes on (0: none).
    std::uint32_t silentAt = 0;
    // The connection is closed, unanswered, at person N (0: none).
    std::uint32_t closeAt = 0;
    // Every add reply leaves this many milliseconds after the request, in order.
    unsigned delayMs = 0;

    bool operator==(const FaceAddRules&) const = default;
};

// The camera's verdict on one add request: 0 and the person to store, or the device code
// that refuses it (the person is then unspecified).
struct FaceAdd
{
    std::int32_t result = 0;
    Person person;
};

// Checks one add request as a camera does: the block must be whole (else -2), the
// declared picture length at most kMaxPictureBytes (else -18) and equal to the bytes that
// follow the block (else -12), and the picture must start with the JPEG marker FF D8
// (else -11). A valid person then meets the rules' refusals: by sequence number, by name
// prefix, for everyone, the first that applies. Texts are cut, at a character boundary,
// to what the person records hold.
FaceAdd judgeFaceAdd(const FaceAddRules& rules, std::uint32_t sequence,
                     std::span<const std::uint8_t> payload);

} // namespace galvorn::devsim
