#include "tools/devsim/deviceface_login.h"

#include <algorithm>
#include <cstdio>
#include <openssl/evp.h>

namespace galvorn::devsim {

namespace {

constexpr std::size_t kField = 32;
constexpr std::size_t kUserAt = 4;
constexpr std::size_t kPasswordAt = 36;

using Field = std::array<std::uint8_t, kField>;

Field fieldAt(std::span<const std::uint8_t> payload, std::size_t offset)
{
    Field field{};
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(offset), kField, field.begin());
    return field;
}

// The text up to the first zero byte, or all 32 bytes.
std::string textOf(const Field& field)
{
    const auto end = std::find(field.begin(), field.end(), 0);
    return std::string(field.begin(), end);
}

bool zeroFrom(const Field& field, std::size_t from)
{
    return std::all_of(field.begin() + static_cast<std::ptrdiff_t>(std::min(from, kField)),
                       field.end(), [](std::uint8_t byte) { return byte == 0; });
}

std::string hexUpper(const unsigned char* bytes, unsigned size)
{
    std::string text;
    char two[3];
    for (unsigned i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        text += two;
    }
    return text;
}

// The XOR cipher undone: the client encoded the name and its terminating zero, so the
// name ends at the first byte that decodes to zero; the bytes after it were sent as
// zeros.
bool decodeXorUser(const Field& field, const std::array<std::uint8_t, 4>& key, std::string& user)
{
    user.clear();
    for (std::size_t i = 0; i < kField; ++i) {
        const std::uint8_t plain = field[i] ^ key[i % key.size()];
        if (plain == 0)
            return zeroFrom(field, i + 1);
        user += static_cast<char>(plain);
    }
    return true;
}

std::string decodeXorPassword(Field field, const std::array<std::uint8_t, 4>& key)
{
    for (std::size_t i = 0; i < kField; ++i)
        field[i] ^= key[i % key.size()];
    return textOf(field);
}

// The scrambled user name undone: non-zero bytes were XORed with the challenge's digits.
std::string unscrambleUser(Field field, std::uint32_t challenge)
{
    const std::string key = std::to_string(challenge);
    for (std::size_t i = 0; i < kField; ++i) {
        if (field[i] != 0)
            field[i] ^= static_cast<std::uint8_t>(key[i % key.size()]);
    }
    return textOf(field);
}

bool digestMatches(const Field& field, const std::string& password, std::uint32_t challenge)
{
    const auto digest = expectedDigest(password, challenge);
    return std::equal(digest.begin(), digest.end(), field.begin()) &&
           zeroFrom(field, digest.size());
}

// The account text as a client sends it: cut to the field at a UTF-8 character boundary.
std::string asSent(const std::string& text)
{
    if (text.size() <= kField)
        return text;
    std::size_t size = kField;
    while (size > 0 && (static_cast<std::uint8_t>(text[size]) & 0xC0) == 0x80)
        --size;
    return text.substr(0, size);
}

} // namespace

std::array<std::uint8_t, 20> expectedDigest(const std::string& password, std::uint32_t challenge)
{
    unsigned char md5[EVP_MAX_MD_SIZE];
    unsigned md5Size = 0;
    EVP_Digest(password.data(), password.size(), md5, &md5Size, EVP_md5(), nullptr);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08u", challenge);
    const std::string text = hexUpper(md5, md5Size) + digits;
    unsigned char sha1[EVP_MAX_MD_SIZE];
    unsigned sha1Size = 0;
    EVP_Digest(text.data(), text.size(), sha1, &sha1Size, EVP_sha1(), nullptr);
    std::array<std::uint8_t, 20> result{};
    std::copy_n(sha1, result.size(), result.begin());
    return result;
}

LoginVerdict checkLogin(const LoginAccount& account, std::span<const std::uint8_t> payload)
{
    LoginVerdict verdict;
    if (payload.size() < kLoginPayloadSize) {
        verdict.reason = "payload";
        return verdict;
    }
    const Field userField = fieldAt(payload, kUserAt);
    const Field passwordField = fieldAt(payload, kPasswordAt);
    const std::string expectedUser = asSent(account.user);
    const std::string expectedPassword = asSent(account.password);
    bool passwordOk = false;
    bool userOk = true;

    if (account.cipherType == kXorCipherType) {
        verdict.mode = "xor";
        userOk = decodeXorUser(userField, account.cipherKey, verdict.user);
        passwordOk = decodeXorPassword(passwordField, account.cipherKey) == expectedPassword;
    } else if (account.cipherType != 0) {
        verdict.mode = "unencoded";
        verdict.user = textOf(userField);
        passwordOk = textOf(passwordField) == expectedPassword;
    } else if (account.passwordMode == 0) {
        verdict.mode = "plain";
        verdict.user = textOf(userField);
        passwordOk = textOf(passwordField) == expectedPassword;
    } else if (account.passwordMode == 2) {
        verdict.mode = "digest-scrambled";
        verdict.user = unscrambleUser(userField, account.challenge);
        passwordOk = digestMatches(passwordField, expectedPassword, account.challenge);
    } else {
        verdict.mode = "digest";
        verdict.user = textOf(userField);
        passwordOk = digestMatches(passwordField, expectedPassword, account.challenge);
    }
    if (!userOk || verdict.user != expectedUser)
        verdict.reason = "user";
    else if (!passwordOk)
        verdict.reason = "password";
    verdict.accepted = verdict.reason.empty();
    return verdict;
}

} // namespace galvorn::devsim
