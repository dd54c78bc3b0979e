#pragma once

#include "platform/netif.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <sys/socket.h>
#include <vector>

namespace galvorn::searchlib {

// The library's UDP socket: probes leave on it and answers come back to it. Answers are
// read in batches, and the kernel's count of datagrams it dropped because the receive
// buffer was full (SO_RXQ_OVFL) is kept. Owns the descriptor. Used by one thread.
class SearchSocket
{
public:
    using Datagram = std::function<void(std::span<const std::uint8_t>)>;

    // Bound to an ephemeral port on every address, probes with TTL 1 and looped back to
    // this host. Null when the socket cannot be set up.
    static std::unique_ptr<SearchSocket> open();
    ~SearchSocket();

    SearchSocket(const SearchSocket&) = delete;
    SearchSocket& operator=(const SearchSocket&) = delete;

    int fd() const { return fd_; }

    // Sends the probe to the search group on each of the first `maxInterfaces` interfaces.
    // A probe that cannot be sent is left to the next round.
    void sendProbe(std::span<const std::uint8_t> probe,
                   const std::vector<platform::Ipv4Interface>& interfaces, int maxInterfaces);

    // Reads at most `limit` waiting datagrams without blocking and hands each to `handle`.
    // A datagram longer than wire::kMaxDatagram arrives cut to one byte more than that, so
    // that its decoder sees it as too large. Returns how many were read: 0 when none waits.
    std::size_t receive(std::size_t limit, const Datagram& handle);

    // Datagrams the kernel dropped for a full receive buffer since the socket was opened,
    // as of the last datagram read.
    std::uint64_t dropped() const { return dropped_; }

    // Asks for a receive buffer of `bytes` and returns what the kernel granted, as it
    // counts it (twice the bytes for its own accounting), or -1 when it cannot be read.
    // The forced size needs administrator rights; the plain one is capped by
    // net.core.rmem_max.
    int resizeReceiveBuffer(int bytes);

private:
    explicit SearchSocket(int fd);
    void noteDropCount(msghdr& header);

    const int fd_;
    // One slot per datagram of a batch: its header, its bytes and its control data.
    std::vector<mmsghdr> messages_;
    std::vector<iovec> parts_;
    std::vector<std::uint8_t> buffers_;
    std::vector<std::uint64_t> controls_; // 8-byte words, so that each cmsghdr is aligned
    std::uint32_t lastDropCount_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace galvorn::searchlib
