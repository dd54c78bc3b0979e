#include "device/loginmessage.h"

#include "common/wirebuffer.h"
#include "device/commandheader.h"
#include "device/commandids.h"
#include "device/encrypt.h"
#include "support/textcodec.h"

#include <algorithm>
#include <cstdio>
#include <openssl/evp.h>

namespace galvorn::device {

namespace {

using Field = std::span<std::uint8_t>;

std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest(const EVP_MD* type, std::string_view text,
                                                 unsigned& size)
{
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> out{};
    size = 0;
    EVP_Digest(text.data(), text.size(), out.data(), &size, type, nullptr);
    return out;
}

std::string upperHex(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

// Each non-zero byte of the field XOR the challenge's decimal digits, repeated.
void scrambleUser(Field user, tuint32 challenge)
{
    const std::string key = std::to_string(challenge);
    for (std::size_t i = 0; i < user.size(); ++i) {
        if (user[i] != 0)
            user[i] ^= static_cast<std::uint8_t>(key[i % key.size()]);
    }
}

void putText(Field field, std::string_view text)
{
    std::fill(field.begin(), field.end(), 0);
    std::copy(text.begin(), text.end(), field.begin());
}

} // namespace

LoginMode LoginModeOf(const DeviceGreeting& greeting) noexcept
{
    if (greeting.cipherType != 0)
        return LoginMode::Cipher;
    if (greeting.passwordMode == 0)
        return LoginMode::Plain;
    return greeting.passwordMode == 2 ? LoginMode::DigestScrambledUser : LoginMode::Digest;
}

std::array<std::uint8_t, 20> PasswordDigest(std::string_view password, tuint32 challenge)
{
    unsigned size = 0;
    const auto md5 = digest(EVP_md5(), password, size);
    char challengeText[16];
    std::snprintf(challengeText, sizeof challengeText, "%08u", challenge);
    const std::string text = upperHex(std::span(md5.data(), size)) + challengeText;
    const auto sha1 = digest(EVP_sha1(), text, size);
    std::array<std::uint8_t, 20> result{};
    std::copy_n(sha1.begin(), result.size(), result.begin());
    return result;
}

std::vector<std::uint8_t> BuildLoginPayload(const DeviceGreeting& greeting, std::string_view user,
                                            std::string_view password,
                                            const platform::MacBytes& mac, tuint32 nonce)
{
    user = textcodec::truncateUtf8(user, LoginLimits::kNameField);
    password = textcodec::truncateUtf8(password, LoginLimits::kNameField);
    std::array<std::uint8_t, LoginLimits::kNameField> userField{};
    std::array<std::uint8_t, LoginLimits::kNameField> passwordField{};
    putText(userField, user);
    putText(passwordField, password);
    tuint32 nonceField = 0;

    switch (LoginModeOf(greeting)) {
    case LoginMode::Cipher: {
        const std::size_t userBytes = std::min(LoginLimits::kNameField, user.size() + 1);
        EncryptBytes(std::span(userField).first(userBytes), greeting.cipherKey,
                     greeting.cipherType);
        EncryptBytes(passwordField, greeting.cipherKey, greeting.cipherType);
        break;
    }
    case LoginMode::DigestScrambledUser:
        scrambleUser(userField, greeting.challenge);
        [[fallthrough]];
    case LoginMode::Digest: {
        const auto sha1 = PasswordDigest(password, greeting.challenge);
        passwordField.fill(0);
        std::copy(sha1.begin(), sha1.end(), passwordField.begin());
        nonceField = nonce;
        break;
    }
    case LoginMode::Plain:
        break;
    }

    common::WireWriter writer(LoginLimits::kPayloadSize);
    writer.u32(0);
    writer.bytes(userField);
    writer.bytes(passwordField);
    writer.u32(nonceField);
    writer.zeros(LoginLimits::kMacOffset - writer.size());
    writer.bytes(mac);
    writer.zeros(LoginLimits::kPayloadSize - writer.size());
    return writer.take();
}

int MapRefusalCode(tuint32 deviceCode) noexcept
{
    switch (deviceCode) {
    case 2:
        return LoginResult::kWrongCredentials;
    case 3:
    case 4:
        return LoginResult::kNoMoreConnections;
    case 13:
        return LoginResult::kRefused13;
    case 0:
        // A refusal must never read as success.
        return LoginResult::kNoAnswer;
    default:
        return static_cast<int>(deviceCode);
    }
}

namespace {

// The acceptance payload, read front to back.
bool readAcceptance(std::span<const std::uint8_t> payload, LoginReply& reply)
{
    common::WireReader reader(payload);
    DEVICE_INFO& info = reply.info;
    const tuint32 word0 = reader.u32();
    std::array<tuint32, 5> words4To20{};
    for (tuint32& word : words4To20)
        word = reader.u32();
    const std::uint8_t byte24 = reader.u8();
    const std::uint8_t byte25 = reader.u8();
    const std::uint8_t byte26 = reader.u8();
    const std::uint8_t byte27 = reader.u8();
    reader.skip(1);
    const std::uint8_t byte29 = reader.u8();
    reader.skip(1);
    const std::uint8_t byte31 = reader.u8();
    const std::uint8_t byte32 = reader.u8();
    reader.skip(1);
    const std::uint8_t byte34 = reader.u8();
    const std::uint8_t byte35 = reader.u8();
    const tuint32 word36 = reader.u32();
    const tuint32 word40 = reader.u32();
    const tuint32 word44 = reader.u32();
    const tuint32 word48 = reader.u32();
    const auto mac = reader.bytes(6);
    reader.skip(92 - 58);
    const tuint32 word92 = reader.u32();
    std::array<tuint32, 4> bytes96To99{};
    for (tuint32& byte : bytes96To99)
        byte = reader.u8();
    reader.skip(109 - 100);
    const std::uint8_t byte109 = reader.u8();
    if (!reader.ok())
        return false;

    info = DEVICE_INFO{};
    info.byte32IsOne = byte32 == 1;
    info.byte25IsOne = byte25 == 1;
    info.word44 = word44;
    info.word48 = word48;
    info.fixedOne = 1;
    info.byte35WhenByte31 = byte31 != 0 ? byte35 : 0;
    info.unsetMinusOne9 = -1;
    info.byte26 = byte26;
    info.byte27 = byte27;
    info.unsetMinusOne12 = -1;
    info.words4To20 = words4To20;
    info.word0 = word0;
    info.levelFromWord40 = word40 == 1 ? 15 : word40 == 2 ? 14 : 12;
    info.bytes96To99 = bytes96To99;
    std::copy(mac.begin(), mac.end(), info.bytes52To57.begin());
    info.fixedFifteen = 15;
    info.word92 = word92;
    info.byte24Set = byte24 != 0;
    info.byte29Set = byte29 != 0;
    info.byte109Set = byte109 != 0;
    reply.byte24 = byte24;
    reply.word36 = word36;
    reply.byte34 = byte34;
    reply.byte35 = byte35;
    return true;
}

} // namespace

LoginReply ReadLoginReply(std::span<const std::uint8_t> message) noexcept
{
    LoginReply reply;
    const std::optional<DeviceMessage> read = ReadDeviceMessage(message);
    if (!read)
        return reply;
    if (read->header.command == REPLY_LOGIN_REFUSED) {
        common::WireReader reader(read->payload);
        const tuint32 code = reader.u32();
        if (reader.ok())
            reply.result = MapRefusalCode(code);
        return reply;
    }
    if (read->header.command == REPLY_LOGIN_ACCEPTED && readAcceptance(read->payload, reply))
        reply.result = LoginResult::kOk;
    return reply;
}

} // namespace galvorn::device
