#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What the fuzz targets share: a reader that splits one input into the values a target
// needs, and the check that turns a broken property into a crash that libFuzzer keeps
// (and that fails the replay test of the input).
namespace galvorn::fuzz {

class FuzzInput
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool empty() const { return rest_.empty(); }
    std::size_t remaining() const { return rest_.size(); }

    // 0 once the input is used up.
    std::uint8_t u8()
    {
        const std::span<const std::uint8_t> byte = take(1);
        return byte.empty() ? 0 : byte[0];
    }
    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        for (const std::uint8_t byte : take(4))
            value = value << 8 | byte;
        return value;
    }
    // The next `count` bytes, fewer at the end of the input.
    std::span<const std::uint8_t> take(std::size_t count)
    {
        const std::span<const std::uint8_t> front = rest_.first(std::min(count, rest_.size()));
        rest_ = rest_.subspan(front.size());
        return front;
    }
    // A piece whose length (at most 65535) the input states in two bytes first.
    std::span<const std::uint8_t> piece()
    {
        const std::size_t length = std::size_t{u8()} << 8 | u8();
        return take(length);
    }
    std::span<const std::uint8_t> rest() { return take(rest_.size()); }

private:
    std::span<const std::uint8_t> rest_;
};

inline std::string_view text(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

inline std::span<const std::uint8_t> bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Reports the property and aborts.
[[noreturn]] void fail(const char* file, int line, const char* property);

} // namespace galvorn::fuzz

// A property of the input under test; a violation aborts, so libFuzzer keeps the input.
#define FUZZ_CHECK(property)                                                                       \
    ((property) ? static_cast<void>(0) : ::galvorn::fuzz::fail(__FILE__, __LINE__, #property))
