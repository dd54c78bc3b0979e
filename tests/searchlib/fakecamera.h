#pragma once

#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <span>
#include <vector>

namespace galvorn::testing {

// A raw UDP peer on the search group: it sees the library's probes and sends whatever
// datagram a test makes up back to the prober. Owns its socket.
class FakeCamera
{
public:
    // Joins the search group on every multicast-capable interface.
    FakeCamera();
    ~FakeCamera();

    FakeCamera(const FakeCamera&) = delete;
    FakeCamera& operator=(const FakeCamera&) = delete;

    bool ready() const { return fd_ >= 0; }

    struct Probe
    {
        std::uint32_t nonce = 0;
        std::uint16_t answerDelayMs = 0;
        std::uint8_t version = 0;
        sockaddr_in from{};
        int interfaceIndex = 0;
    };

    // Waits for the next well-formed probe. False on time-out.
    bool awaitProbe(Probe& probe, std::chrono::milliseconds timeout);

    // Sends a datagram to the sender of `probe`.
    bool send(const Probe& probe, std::span<const std::uint8_t> datagram);

private:
    int fd_ = -1;
};

} // namespace galvorn::testing
