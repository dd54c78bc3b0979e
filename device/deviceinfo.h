#pragma once

#include "support/inttypes.h"

#include <array>
#include <cstdint>

namespace galvorn::device {

// What a successful login tells about the device. This program keeps the record but
// reads none of it, so the fields are named after the bytes of the login reply they
// come from (offsets into the reply payload).
struct DEVICE_INFO
{
    tuint32 reserved1 = 0;
    std::uint8_t reserved2 = 0;
    std::uint8_t byte32IsOne = 0;
    std::uint8_t byte25IsOne = 0;
    tuint32 word44 = 0;
    tuint32 word48 = 0;
    tuint32 fixedOne = 0;
    tuint32 byte35WhenByte31 = 0;
    tint32 unsetMinusOne9 = 0;
    tuint32 byte26 = 0;
    tuint32 byte27 = 0;
    tint32 unsetMinusOne12 = 0;
    std::array<tuint32, 5> words4To20{};
    tuint32 word0 = 0;
    // 15 when the word at 40 is 1, 14 when it is 2, else 12.
    tuint32 levelFromWord40 = 0;
    std::array<std::uint8_t, 16> notSetByLogin20{};
    std::array<tuint32, 4> bytes96To99{};
    std::array<std::uint8_t, 12> notSetByLogin25{};
    std::array<std::uint8_t, 6> bytes52To57{};
    tuint32 fixedFifteen = 0;
    tuint32 word92 = 0;
    std::uint8_t byte24Set = 0;
    std::uint8_t byte29Set = 0;
    std::uint8_t byte109Set = 0;

    bool operator==(const DEVICE_INFO&) const = default;
};

} // namespace galvorn::device
