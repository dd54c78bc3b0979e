#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::common {

// Reads the little-endian fields of a device message, and the big-endian (network order)
// fields of the link-layer frames the program builds itself. A read past the end yields
// zeros (an empty span for bytes()) and clears ok() for good, so a decoder reads every
// field and checks once, after its last read.
class WireReader
{
public:
    explicit WireReader(std::span<const std::uint8_t> data) noexcept : data_(data) {}

    std::uint8_t u8() noexcept;
    std::uint16_t u16() noexcept;
    std::uint32_t u32() noexcept;
    std::uint64_t u64() noexcept;
    std::uint16_t u16be() noexcept;
    std::uint32_t u32be() noexcept;
    // A view of the next `count` bytes, valid as long as the underlying buffer.
    std::span<const std::uint8_t> bytes(std::size_t count) noexcept;
    void skip(std::size_t count) noexcept { bytes(count); }
    // A fixed-width text field of `width` bytes: its bytes up to the first NUL, all of
    // them when there is none (the counterpart of WireWriter::text).
    std::string text(std::size_t width);

    bool ok() const noexcept { return ok_; }
    std::size_t offset() const noexcept { return offset_; }
    std::size_t remaining() const noexcept { return data_.size() - offset_; }

private:
    // The next `count` bytes, or nullptr (and not ok) when fewer remain.
    const std::uint8_t* take(std::size_t count) noexcept;

    std::span<const std::uint8_t> data_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

// Appends little-endian fields to a device message under construction; the ...be()
// forms append big-endian (network order) fields.
class WireWriter
{
public:
    WireWriter() = default;
    explicit WireWriter(std::size_t capacity) { out_.reserve(capacity); }

    void u8(std::uint8_t value) { out_.push_back(value); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void u16be(std::uint16_t value);
    void u32be(std::uint32_t value);
    void bytes(std::span<const std::uint8_t> data)
    {
        out_.insert(out_.end(), data.begin(), data.end());
    }
    // The text's bytes, cut or zero-padded to exactly `width` bytes.
    void text(std::string_view text, std::size_t width);
    void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }

    std::size_t size() const noexcept { return out_.size(); }
    const std::vector<std::uint8_t>& data() const noexcept { return out_; }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    std::vector<std::uint8_t> out_;
};

} // namespace galvorn::common
