#pragma once

#include "tools/devsim/deviceface_login.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace galvorn::devsim {

// How the camera's greeting reaches a client.
enum class GreetingFault
{
    None,
    // Only the first greetingLength bytes are sent; the connection then stays silent.
    Short,
    // Nothing is sent.
    Missing,
};

// Everything the device-protocol face can be told, with the behaviour of a well-behaved
// camera as defaults. The configuration file and the control channel set these.
struct DeviceFaceSettings
{
    // Host byte order; 0 with port 0 binds 127.0.0.1 at an ephemeral port (tests).
    std::uint32_t bindAddress = 0;
    std::uint16_t port = 0;
    std::array<std::uint8_t, 6> mac{};

    // Greeting.
    std::uint32_t protocolVersion = 3;
    LoginAccount account{0, {0x5A, 0xC3, 0x17, 0x88}, 0x12D687, 0, "admin", "123456"};
    GreetingFault greetingFault = GreetingFault::None;
    std::size_t greetingLength = 64;

    // Login refusals: the code for a wrong user name or password, the code when
    // maxConnections logged-in clients are already there (0: no limit), and a code that
    // refuses every login (0: none).
    std::uint32_t wrongCredentialsCode = 2;
    unsigned maxConnections = 0;
    std::uint32_t connectionLimitCode = 4;
    std::uint32_t refuseEveryLogin = 0;

    // Keep-alives: answered with a keep-alive; a client silent for idleLimitMs is
    // dropped (0: never).
    bool answerKeepAlives = true;
    unsigned idleLimitMs = 20000;

    // Replies after the login that are larger than fragmentSize go out in fragments of
    // that size (0: whole), on channel fragmentChannel (2: channels 0 and 1 by turns),
    // with a keep-alive between fragments when keepAliveBetweenFragments is set.
    std::size_t fragmentSize = 0;
    std::uint32_t fragmentChannel = 0;
    bool keepAliveBetweenFragments = false;

    // Device events 0x1000C01 and 0x1000C03 sent once after each successful login.
    bool eventsAfterLogin = false;

    // Faults.
    bool noReply = false;
    // Close the connection, without an answer, on this message from the client (0: never).
    unsigned closeAfterMessages = 0;
    // Frames sent with the magic "1112".
    bool badMagic = false;
    // Every reply waits this long before it leaves.
    unsigned replyDelayUs = 0;
    // Every reply, the login reply included, carries the id kUnknownReplyId instead.
    bool unknownReplyId = false;
    // Requests with this command id get no answer (0: none).
    std::uint32_t ignoreCommand = 0;

    // Every request received is appended to this file (empty: none).
    std::string recordPath;
};

// An id no request is ever answered with.
inline constexpr std::uint32_t kUnknownReplyId = 0x1000FFF;

} // namespace galvorn::devsim
