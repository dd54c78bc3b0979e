// The greeting a device sends first, the login request built from it, and the messages
// that may come back as the login's reply.
#include "device/commandheader.h"
#include "device/commandids.h"
#include "device/encrypt.h"
#include "device/greeting.h"
#include "device/loginmessage.h"
#include "fuzz/fuzzinput.h"
#include "support/textcodec.h"

#include <algorithm>

using namespace galvorn::device;
using galvorn::fuzz::FuzzInput;
using galvorn::fuzz::text;
namespace textcodec = galvorn::textcodec;

namespace {

constexpr galvorn::platform::MacBytes kMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr tuint32 kNonce = 0x123456;

// A name field of the login as the device reads it back: the cipher undone, up to the
// first zero byte.
std::string readName(std::span<const std::uint8_t> payload, std::size_t offset,
                     const DeviceGreeting& greeting)
{
    std::vector<std::uint8_t> field(
        payload.begin() + static_cast<std::ptrdiff_t>(offset),
        payload.begin() + static_cast<std::ptrdiff_t>(offset + LoginLimits::kNameField));
    if (LoginModeOf(greeting) == LoginMode::Cipher)
        CreateCipher(greeting.cipherType)->Decrypt(field, greeting.cipherKey);
    const auto end = std::find(field.begin(), field.end(), 0);
    return {field.begin(), end};
}

void checkLogin(const DeviceGreeting& greeting, std::string_view user, std::string_view password)
{
    const std::vector<std::uint8_t> payload =
        BuildLoginPayload(greeting, user, password, kMac, kNonce);
    FUZZ_CHECK(payload.size() == LoginLimits::kPayloadSize);
    FUZZ_CHECK(payload == BuildLoginPayload(greeting, user, password, kMac, kNonce));
    FUZZ_CHECK(std::equal(kMac.begin(), kMac.end(), payload.begin() + LoginLimits::kMacOffset));
    // The names are cut at a character boundary, never inside one.
    const std::string_view cutUser = textcodec::truncateUtf8(user, LoginLimits::kNameField);
    FUZZ_CHECK(cutUser.size() <= LoginLimits::kNameField);
    const LoginMode mode = LoginModeOf(greeting);
    if (mode != LoginMode::DigestScrambledUser) {
        // What the device reads is the name up to its first zero byte.
        const std::string expected(cutUser.substr(0, cutUser.find('\0')));
        FUZZ_CHECK(readName(payload, LoginLimits::kUserOffset, greeting) == expected);
    }
    if (mode == LoginMode::Plain || mode == LoginMode::Cipher) {
        const std::string_view cut = textcodec::truncateUtf8(password, LoginLimits::kNameField);
        const std::string expected(cut.substr(0, cut.find('\0')));
        FUZZ_CHECK(readName(payload, LoginLimits::kPasswordOffset, greeting) == expected);
    }
}

void checkReply(std::span<const std::uint8_t> message)
{
    const std::optional<DeviceMessage> read = ReadDeviceMessage(message);
    const LoginReply reply = ReadLoginReply(message);
    if (!read) {
        FUZZ_CHECK(reply.result == LoginResult::kNoAnswer);
        return;
    }
    // The header reads back as the bytes it came from, and the payload lies inside the
    // message, right after it.
    const auto header = EncodeCommandHeader(read->header);
    FUZZ_CHECK(std::equal(header.begin(), header.end(), message.begin()));
    FUZZ_CHECK(read->payload.data() == message.data() + CommandHeader::kSize);
    FUZZ_CHECK(read->payload.size() == read->header.payloadLength);
    // Only an acceptance logs in; a refusal never reads as success, whatever its code.
    if (reply.result == LoginResult::kOk)
        FUZZ_CHECK(read->header.command == REPLY_LOGIN_ACCEPTED);
    if (read->header.command != REPLY_LOGIN_ACCEPTED && read->header.command != REPLY_LOGIN_REFUSED)
        FUZZ_CHECK(reply.result == LoginResult::kNoAnswer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::span<const std::uint8_t> greetingBytes = input.take(DeviceGreeting::kSize);
    DeviceGreeting greeting;
    const bool read = ReadGreeting(greetingBytes, greeting);
    FUZZ_CHECK(read == (greetingBytes.size() == DeviceGreeting::kSize));
    if (read) {
        FUZZ_CHECK(std::equal(greeting.bytes.begin(), greeting.bytes.end(), greetingBytes.begin()));
        FUZZ_CHECK(greeting.challenge <= 0xFFFFFF);
        const std::string_view user = text(input.piece());
        const std::string_view password = text(input.piece());
        checkLogin(greeting, user, password);
    }
    checkReply(input.rest());
    return 0;
}
