#include "device/greeting.h"

#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::device {

bool ReadGreeting(std::span<const std::uint8_t> bytes, DeviceGreeting& greeting) noexcept
{
    common::WireReader reader(bytes);
    DeviceGreeting read;
    reader.skip(4);
    read.word4 = reader.u32();
    read.word8 = reader.u32();
    read.version = reader.u32();
    read.word16 = reader.u32();
    reader.skip(4);
    read.cipherType = reader.u32();
    const auto key = reader.bytes(read.cipherKey.size());
    std::copy(key.begin(), key.end(), read.cipherKey.begin());
    reader.skip(45 - reader.offset());
    const tuint32 low = reader.u8();
    const tuint32 middle = reader.u8();
    const tuint32 high = reader.u8();
    read.challenge = low | middle << 8 | high << 16;
    reader.skip(52 - reader.offset());
    read.passwordMode = reader.u8();
    reader.skip(DeviceGreeting::kSize - reader.offset());
    if (!reader.ok())
        return false;
    std::copy_n(bytes.begin(), DeviceGreeting::kSize, read.bytes.begin());
    greeting = read;
    return true;
}

} // namespace galvorn::device
