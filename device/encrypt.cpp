#include "device/encrypt.h"

#include "platform/debuglog.h"

#include <functional>
#include <map>
#include <new>

namespace galvorn::device {

namespace {

using Creator = std::unique_ptr<CEncrypt> (*)();

// The process-wide registry of cipher types, filled on first use.
const std::map<tuint32, Creator>& registry()
{
    static const std::map<tuint32, Creator> creators = {
        {kCipherXor, []() -> std::unique_ptr<CEncrypt> { return std::make_unique<CEncryptXOR>(); }},
    };
    return creators;
}

} // namespace

void CEncrypt::Encrypt(std::span<std::uint8_t>, std::span<const std::uint8_t>)
{
    platform::debugLine("CEncrypt");
}

void CEncrypt::Decrypt(std::span<std::uint8_t>, std::span<const std::uint8_t>) {}

void CEncryptXOR::Encrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key)
{
    if (key.empty())
        return;
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] ^= key[i % key.size()];
}

void CEncryptXOR::Decrypt(std::span<std::uint8_t> data, std::span<const std::uint8_t> key)
{
    Encrypt(data, key);
}

std::unique_ptr<CEncrypt> CreateCipher(tuint32 type) noexcept
{
    try {
        const auto found = registry().find(type);
        if (found != registry().end())
            return found->second();
        return std::make_unique<CEncrypt>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool EncryptBytes(std::span<std::uint8_t> data, std::span<const std::uint8_t> key,
                  tuint32 type) noexcept
{
    const std::unique_ptr<CEncrypt> cipher = CreateCipher(type);
    if (!cipher)
        return false;
    cipher->Encrypt(data, key);
    return true;
}

} // namespace galvorn::device
