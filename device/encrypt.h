#pragma once

#include "support/inttypes.h"

#include <cstdint>
#include <memory>
#include <span>

namespace galvorn::device {

// The cipher type that selects CEncryptXOR.
inline constexpr tuint32 kCipherXor = 0x10000;

// A byte cipher selected by a numeric type. Both operations work in place. The base
// cipher stands for a type that nothing is registered for: it leaves the data as it is
// and says so on the debug channel.
class CEncrypt
{
public:
    virtual ~CEncrypt() = default;
    virtual void Encrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key);
    virtual void Decrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key);
};

// Each data byte XOR the key byte at the same position, the key repeated from its first
// byte. Its own inverse. An empty key leaves the data unchanged.
class CEncryptXOR : public CEncrypt
{
public:
    void Encrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) override;
    void Decrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) override;
};

// The cipher registered for the type (only kCipherXor is), else a plain CEncrypt.
// nullptr only when memory runs out.
std::unique_ptr<CEncrypt> CreateCipher(tuint32 type) noexcept;

// Runs the type's cipher over the data with the key. False when no cipher could be made.
bool EncryptBytes(std::span<std::uint8_t> data, std::span<const std::uint8_t> key,
                  tuint32 type) noexcept;

} // namespace galvorn::device
