#pragma once

#include "device/deviceinfo.h"
#include "device/greeting.h"
#include "platform/adaptermac.h"
#include "support/inttypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::device {

// The login request (command 0x101) and its reply, as bytes in and out, without a
// socket.
struct LoginLimits
{
    static constexpr std::size_t kPayloadSize = 116;
    // The user name and password fields; longer texts are cut at a character boundary.
    static constexpr std::size_t kNameField = 32;
    static constexpr std::size_t kUserOffset = 4;
    static constexpr std::size_t kPasswordOffset = 36;
    static constexpr std::size_t kNonceOffset = 68;
    static constexpr std::size_t kMacOffset = 104;
    // A nonce is 1 to this value.
    static constexpr tuint32 kNonceRange = 0xFFFF00;
};

// How the greeting asks for the names to be sent.
enum class LoginMode
{
    Plain,
    // The names encoded with the greeting's cipher type and key.
    Cipher,
    Digest,
    DigestScrambledUser,
};

LoginMode LoginModeOf(const DeviceGreeting& greeting) noexcept;

// The login payload for the greeting. `nonce` goes to offset 68 in the digest modes and
// is ignored otherwise. User name and password are cut to 32 bytes first, at a UTF-8
// character boundary.
std::vector<std::uint8_t> BuildLoginPayload(const DeviceGreeting& greeting, std::string_view user,
                                            std::string_view password,
                                            const platform::MacBytes& mac, tuint32 nonce);

// The password digest sent in the digest modes: SHA-1 of the upper-case hex MD5 of the
// password followed by the challenge as eight decimal digits.
std::array<std::uint8_t, 20> PasswordDigest(std::string_view password, tuint32 challenge);

// Login results.
struct LoginResult
{
    static constexpr int kOk = 0;
    // Wrong user name or password.
    static constexpr int kWrongCredentials = 1;
    // No reply, a lost link, or a reply that is not a login reply.
    static constexpr int kNoAnswer = 4;
    static constexpr int kRefused13 = 5;
    // The device accepts no more connections.
    static constexpr int kNoMoreConnections = 6;
};

// A refusal's device code as the login result it stands for: 2 → 1, 3 and 4 → 6,
// 13 → 5, 0 → 4 (a refusal is never a success), any other code unchanged.
int MapRefusalCode(tuint32 deviceCode) noexcept;

// What a login reply says; the extra fields are kept by the session only.
struct LoginReply
{
    int result = LoginResult::kNoAnswer;
    DEVICE_INFO info;
    std::uint8_t byte24 = 0;
    tuint32 word36 = 0;
    std::uint8_t byte34 = 0;
    std::uint8_t byte35 = 0;
};

// Reads a whole login reply message (command header and payload). An acceptance too
// short for its fields, a refusal without its code, and any other command give
// kNoAnswer.
LoginReply ReadLoginReply(std::span<const std::uint8_t> message) noexcept;

} // namespace galvorn::device
