#include "common/wirebuffer.h"

#include <algorithm>

namespace galvorn::common {

const std::uint8_t* WireReader::take(std::size_t count) noexcept
{
    if (!ok_ || count > remaining()) {
        ok_ = false;
        return nullptr;
    }
    const std::uint8_t* at = data_.data() + offset_;
    offset_ += count;
    return at;
}

std::uint8_t WireReader::u8() noexcept
{
    const std::uint8_t* at = take(1);
    return at ? at[0] : 0;
}

std::uint16_t WireReader::u16() noexcept
{
    const std::uint8_t* at = take(2);
    return at ? static_cast<std::uint16_t>(at[0] | at[1] << 8) : 0;
}

std::uint32_t WireReader::u32() noexcept
{
    const std::uint8_t* at = take(4);
    if (!at)
        return 0;
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint64_t WireReader::u64() noexcept
{
    const std::uint64_t low = u32();
    const std::uint64_t high = u32();
    return ok_ ? low | high << 32 : 0;
}

std::uint16_t WireReader::u16be() noexcept
{
    const std::uint8_t* at = take(2);
    return at ? static_cast<std::uint16_t>(at[0] << 8 | at[1]) : 0;
}

std::uint32_t WireReader::u32be() noexcept
{
    const std::uint8_t* at = take(4);
    if (!at)
        return 0;
    return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
           static_cast<std::uint32_t>(at[2]) << 8 | static_cast<std::uint32_t>(at[3]);
}

std::span<const std::uint8_t> WireReader::bytes(std::size_t count) noexcept
{
    const std::uint8_t* at = take(count);
    return at ? std::span<const std::uint8_t>(at, count) : std::span<const std::uint8_t>();
}

std::string WireReader::text(std::size_t width)
{
    const std::span<const std::uint8_t> field = bytes(width);
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

void WireWriter::u16(std::uint16_t value)
{
    out_.push_back(static_cast<std::uint8_t>(value));
    out_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void WireWriter::u32(std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void WireWriter::u64(std::uint64_t value)
{
    u32(static_cast<std::uint32_t>(value));
    u32(static_cast<std::uint32_t>(value >> 32));
}

void WireWriter::u16be(std::uint16_t value)
{
    out_.push_back(static_cast<std::uint8_t>(value >> 8));
    out_.push_back(static_cast<std::uint8_t>(value));
}

void WireWriter::u32be(std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void WireWriter::text(std::string_view text, std::size_t width)
{
    const std::size_t used = std::min(text.size(), width);
    out_.insert(out_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
    zeros(width - used);
}

} // namespace galvorn::common
