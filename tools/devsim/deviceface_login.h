#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace galvorn::devsim {

// What the camera's greeting promised and what it knows of its account: the login check
// undoes each encoding of the login payload with these, written apart from Galvorn's own
// encoder so that a fault in one is not mirrored in the other.
struct LoginAccount
{
    std::uint32_t cipherType = 0;
    std::array<std::uint8_t, 4> cipherKey{};
    std::uint32_t challenge = 0;
    std::uint8_t passwordMode = 0;
    std::string user;
    std::string password;
};

struct LoginVerdict
{
    bool accepted = false;
    // The user name as the camera decoded it.
    std::string user;
    // "plain", "xor", "digest", "digest-scrambled" or "unencoded" (an unknown cipher type,
    // whose client sends the names as they are).
    std::string mode;
    // Why a login was refused, for the recording: "", "user", "password" or "payload".
    std::string reason;
};

inline constexpr std::uint32_t kXorCipherType = 0x10000;
inline constexpr std::size_t kLoginPayloadSize = 116;

// Checks a login payload (the 116 bytes after the command header) against the account.
LoginVerdict checkLogin(const LoginAccount& account, std::span<const std::uint8_t> payload);

// The digest a client must send for the password: SHA-1 over the upper-case hex MD5 of
// the password followed by the challenge as eight decimal digits.
std::array<std::uint8_t, 20> expectedDigest(const std::string& password, std::uint32_t challenge);

} // namespace galvorn::devsim
