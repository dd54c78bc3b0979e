#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace galvorn::devsim {

// One message the camera sends: command id, parameter and payload.
struct DeviceReply
{
    std::uint32_t command = 0;
    std::uint32_t parameter = 0;
    std::vector<std::uint8_t> payload;
};

// Per-connection state that the answers depend on.
struct ReplyState
{
    std::uint32_t nextTransferId = 1;
};

// The answers of a camera to one request of the command set (the login excepted):
// what the device sends back, in order; empty for the requests a camera acts on
// silently. The request's parameter is echoed in every answer.
std::vector<DeviceReply> answerRequest(std::uint32_t command, std::uint32_t parameter,
                                       std::span<const std::uint8_t> payload, ReplyState& state);

// The payload of an accepted login, with the camera's MAC at offset 52.
std::vector<std::uint8_t> loginAcceptedPayload(std::span<const std::uint8_t, 6> mac);

// The two device events: 0x1000C01 with a 40-byte event header and 16 data bytes, and
// 0x1000C03 with 8 data bytes.
std::vector<DeviceReply> deviceEvents();

// The request's fields as the recording shows them: "key=value" items separated by tabs.
std::string describeRequest(std::uint32_t command, std::span<const std::uint8_t> payload);

} // namespace galvorn::devsim
