#include "device/commandids.h"
#include "device/loginmessage.h"
#include "tools/devsim/deviceface_login.h"
#include "tools/devsim/deviceface_replies.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace galvorn::device;
using galvorn::devsim::checkLogin;
using galvorn::devsim::LoginAccount;

namespace {

const galvorn::platform::MacBytes kMac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::array<std::uint8_t, 4> kKey = {0x5A, 0xC3, 0x17, 0x88};

DeviceGreeting greetingFor(tuint32 cipherType, std::uint8_t passwordMode, tuint32 challenge)
{
    DeviceGreeting greeting;
    greeting.version = 3;
    greeting.cipherType = cipherType;
    greeting.cipherKey = kKey;
    greeting.passwordMode = passwordMode;
    greeting.challenge = challenge;
    return greeting;
}

struct ModeRow
{
    const char* name;
    tuint32 cipherType;
    std::uint8_t passwordMode;
    const char* expectedMode;
};

const std::vector<ModeRow> kModes = {
    {"plain", 0, 0, "plain"},
    {"xor", 0x10000, 0, "xor"},
    {"digest", 0, 1, "digest"},
    {"digest, any other mode", 0, 7, "digest"},
    {"digest with scrambled user", 0, 2, "digest-scrambled"},
    {"unknown cipher", 5, 0, "unencoded"},
};

// The camera double undoes every encoding on its own; it must accept what the client
// encodes, for every mode, user name and challenge.
TEST(LoginPayload, TheCameraAcceptsEveryModeItsGreetingAsksFor)
{
    const std::vector<std::pair<std::string, std::string>> accounts = {
        {"admin", "123456"},
        {"", ""},
        {std::string(32, 'u'), std::string(32, 'p')},
        {"user\xC3\xA9", "p\xE2\x82\xAC"},
    };
    for (const ModeRow& mode : kModes) {
        for (const tuint32 challenge : {0u, 7u, 0x123456u, 0xFFFFFFu}) {
            for (const auto& [user, password] : accounts) {
                const DeviceGreeting greeting =
                    greetingFor(mode.cipherType, mode.passwordMode, challenge);
                const std::vector<std::uint8_t> payload =
                    BuildLoginPayload(greeting, user, password, kMac, 4242);
                ASSERT_EQ(payload.size(), LoginLimits::kPayloadSize);
                const LoginAccount account{mode.cipherType,   kKey, challenge,
                                           mode.passwordMode, user, password};
                const auto verdict = checkLogin(account, payload);
                EXPECT_TRUE(verdict.accepted) << mode.name << " user '" << user << "' challenge "
                                              << challenge << ": " << verdict.reason;
                EXPECT_EQ(verdict.mode, mode.expectedMode) << mode.name;

                LoginAccount wrong = account;
                wrong.password.insert(0, "x");
                EXPECT_FALSE(checkLogin(wrong, payload).accepted) << mode.name;
            }
        }
    }
}

TEST(LoginPayload, MacAndNonceHaveTheirPlaces)
{
    for (const ModeRow& mode : kModes) {
        const auto payload = BuildLoginPayload(greetingFor(mode.cipherType, mode.passwordMode, 9),
                                               "a", "b", kMac, 0x00ABCDEF);
        EXPECT_TRUE(std::equal(kMac.begin(), kMac.end(), payload.begin() + 104)) << mode.name;
        const bool digest = std::string(mode.expectedMode).starts_with("digest");
        const std::vector<std::uint8_t> nonce(payload.begin() + 68, payload.begin() + 72);
        const std::vector<std::uint8_t> expected =
            digest ? std::vector<std::uint8_t>{0xEF, 0xCD, 0xAB, 0x00}
                   : std::vector<std::uint8_t>(4, 0);
        EXPECT_EQ(nonce, expected) << mode.name;
        for (const std::size_t at : {0u, 1u, 2u, 3u, 72u, 103u, 110u, 115u})
            EXPECT_EQ(payload[at], 0) << mode.name << " byte " << at;
    }
}

TEST(LoginPayload, XorEncodesTheWholeFieldOfA32ByteUser)
{
    const std::string user(32, 'A');
    const auto payload = BuildLoginPayload(greetingFor(0x10000, 0, 0), user, "", kMac, 0);
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(payload[4 + i], 'A' ^ kKey[i % 4]) << i;
}

TEST(LoginPayload, XorEncodesTheUserAndItsTerminatorOnly)
{
    const auto payload = BuildLoginPayload(greetingFor(0x10000, 0, 0), "ab", "", kMac, 0);
    EXPECT_EQ(payload[4], 'a' ^ kKey[0]);
    EXPECT_EQ(payload[5], 'b' ^ kKey[1]);
    EXPECT_EQ(payload[6], kKey[2]);
    EXPECT_EQ(payload[7], 0);
    // The password's zero padding becomes the key repeated.
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(payload[36 + i], kKey[i % 4]) << i;
}

TEST(LoginPayload, ScramblingLeavesTheZeroPaddingAlone)
{
    // Challenge 0 gives the one-character key "0".
    const auto payload = BuildLoginPayload(greetingFor(0, 2, 0), "ab", "pw", kMac, 1);
    EXPECT_EQ(payload[4], 'a' ^ '0');
    EXPECT_EQ(payload[5], 'b' ^ '0');
    for (std::size_t i = 6; i < 36; ++i)
        EXPECT_EQ(payload[i], 0) << i;
}

TEST(LoginPayload, DigestAppendsTheChallengeAsEightDigits)
{
    const auto payload = BuildLoginPayload(greetingFor(0, 1, 0), "u", "pw", kMac, 1);
    const auto expected = galvorn::devsim::expectedDigest("pw", 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), payload.begin() + 36));
    for (std::size_t i = 56; i < 68; ++i)
        EXPECT_EQ(payload[i], 0) << i;
    EXPECT_EQ(PasswordDigest("pw", 0), expected);
}

TEST(LoginPayload, LongNamesAreCutAtACharacterBoundary)
{
    // 31 ASCII bytes and a two-byte character: the character does not fit and is dropped.
    const std::string user = std::string(31, 'x') + "\xC3\xA9";
    const auto payload = BuildLoginPayload(greetingFor(0, 0, 0), user, user + "tail", kMac, 0);
    EXPECT_EQ(std::string(payload.begin() + 4, payload.begin() + 36), std::string(31, 'x') + '\0');
    EXPECT_EQ(std::string(payload.begin() + 36, payload.begin() + 68), std::string(31, 'x') + '\0');
}

std::vector<std::uint8_t> message(tuint32 command, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> bytes;
    for (const tuint32 word : {command, 0u, 0u, static_cast<tuint32>(payload.size())})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

TEST(LoginReply, RefusalCodesMapToTheirResults)
{
    const std::vector<std::pair<tuint32, int>> rows = {
        {2, 1}, {3, 6}, {4, 6}, {13, 5}, {7, 7}, {1, 1}, {5, 5}, {0, 4}, {99, 99},
    };
    for (const auto& [code, result] : rows) {
        const std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(code), 0, 0, 0};
        EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_REFUSED, payload)).result, result) << code;
        EXPECT_EQ(MapRefusalCode(code), result) << code;
    }
}

TEST(LoginReply, AnUnknownReplyIsAFailure)
{
    const auto payload =
        galvorn::devsim::loginAcceptedPayload(std::span<const std::uint8_t, 6>(kMac));
    EXPECT_EQ(ReadLoginReply(message(0x1000FFF, payload)).result, LoginResult::kNoAnswer);
    EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, payload)).result, LoginResult::kOk);
}

TEST(LoginReply, EveryTruncatedReplyIsAFailure)
{
    const auto payload =
        galvorn::devsim::loginAcceptedPayload(std::span<const std::uint8_t, 6>(kMac));
    const std::vector<std::uint8_t> whole = message(REPLY_LOGIN_ACCEPTED, payload);
    for (std::size_t size = 0; size < whole.size(); ++size)
        EXPECT_EQ(ReadLoginReply(std::span(whole.data(), size)).result, LoginResult::kNoAnswer)
            << size;
    // A payload that ends right after its last field (byte 109) is enough.
    const std::vector<std::uint8_t> shortest(payload.begin(), payload.begin() + 110);
    EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, shortest)).result, LoginResult::kOk);
    const std::vector<std::uint8_t> tooShort(payload.begin(), payload.begin() + 109);
    EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, tooShort)).result,
              LoginResult::kNoAnswer);
    const std::vector<std::uint8_t> refusal = message(REPLY_LOGIN_REFUSED, {2, 0, 0});
    EXPECT_EQ(ReadLoginReply(refusal).result, LoginResult::kNoAnswer);
}

TEST(LoginReply, AcceptanceFillsTheRecordFromItsBytes)
{
    std::vector<std::uint8_t> payload(120, 0);
    auto put = [&](std::size_t at, tuint32 value) {
        for (int i = 0; i < 4; ++i)
            payload[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 0xA0);
    for (tuint32 i = 0; i < 5; ++i)
        put(4 + 4 * i, 0xB0 + i);
    payload[24] = 3;
    payload[25] = 1;
    payload[26] = 0x26;
    payload[27] = 0x27;
    payload[29] = 0;
    payload[31] = 1;
    payload[32] = 2; // not 1
    payload[34] = 0x34;
    payload[35] = 0x35;
    put(36, 0x36);
    put(40, 2);
    put(44, 0x44);
    put(48, 0x48);
    for (int i = 0; i < 6; ++i)
        payload[52 + i] = static_cast<std::uint8_t>(0x52 + i);
    put(92, 0x92);
    for (int i = 0; i < 4; ++i)
        payload[96 + i] = static_cast<std::uint8_t>(0x96 + i);
    payload[109] = 9;

    const LoginReply reply = ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, payload));
    ASSERT_EQ(reply.result, LoginResult::kOk);
    const DEVICE_INFO& info = reply.info;
    EXPECT_EQ(info.reserved1, 0u);
    EXPECT_EQ(info.byte32IsOne, 0);
    EXPECT_EQ(info.byte25IsOne, 1);
    EXPECT_EQ(info.word44, 0x44u);
    EXPECT_EQ(info.word48, 0x48u);
    EXPECT_EQ(info.fixedOne, 1u);
    EXPECT_EQ(info.byte35WhenByte31, 0x35u);
    EXPECT_EQ(info.unsetMinusOne9, -1);
    EXPECT_EQ(info.byte26, 0x26u);
    EXPECT_EQ(info.byte27, 0x27u);
    EXPECT_EQ(info.unsetMinusOne12, -1);
    EXPECT_EQ(info.words4To20, (std::array<tuint32, 5>{0xB0, 0xB1, 0xB2, 0xB3, 0xB4}));
    EXPECT_EQ(info.word0, 0xA0u);
    EXPECT_EQ(info.levelFromWord40, 14u);
    EXPECT_EQ(info.bytes96To99, (std::array<tuint32, 4>{0x96, 0x97, 0x98, 0x99}));
    EXPECT_EQ(info.bytes52To57, (std::array<std::uint8_t, 6>{0x52, 0x53, 0x54, 0x55, 0x56, 0x57}));
    EXPECT_EQ(info.fixedFifteen, 15u);
    EXPECT_EQ(info.word92, 0x92u);
    EXPECT_EQ(info.byte24Set, 1);
    EXPECT_EQ(info.byte29Set, 0);
    EXPECT_EQ(info.byte109Set, 1);
    EXPECT_EQ(reply.word36, 0x36u);
    EXPECT_EQ(reply.byte34, 0x34);

    for (const auto& [word40, level] :
         std::vector<std::pair<tuint32, tuint32>>{{1, 15}, {0, 12}, {3, 12}}) {
        put(40, word40);
        EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, payload)).info.levelFromWord40,
                  level);
    }
    payload[31] = 0;
    EXPECT_EQ(ReadLoginReply(message(REPLY_LOGIN_ACCEPTED, payload)).info.byte35WhenByte31, 0u);
}

} // namespace
