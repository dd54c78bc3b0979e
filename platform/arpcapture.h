#pragma once

#include "platform/adaptermac.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Raw ARP frames on one adapter through the packet-capture library: send frames and read
// the replies a kernel filter lets through. Needs CAP_NET_RAW. Frames are bytes here; the
// program's frame code builds and reads them.
namespace galvorn::platform {

// ArpCapture::open() results.
struct CaptureResult
{
    static constexpr int kOpen = 0;
    // The caller lacks CAP_NET_RAW.
    static constexpr int kNotPermitted = 1;
    static constexpr int kNoSuchAdapter = 2;
    // The filter expression did not compile or could not be set.
    static constexpr int kBadFilter = 3;
    static constexpr int kFailed = 4;
};

// A kernel filter that passes only ARP replies over Ethernet for IPv4 whose sender
// address (host byte order) is one of `senders`, and, when `from` is given, whose
// Ethernet source is that MAC. Empty `senders` passes nothing.
std::string ArpReplyFilter(std::span<const std::uint32_t> senders, const MacBytes* from = nullptr);

class ArpCapture
{
public:
    ArpCapture();
    ~ArpCapture();

    ArpCapture(const ArpCapture&) = delete;
    ArpCapture& operator=(const ArpCapture&) = delete;

    // Opens the adapter (not promiscuous, frames delivered as they arrive, incoming only)
    // with the filter in place before anything is sent. A CaptureResult code; error()
    // then tells why.
    int open(const std::string& adapter, const std::string& filter);
    // False when the frame could not be sent.
    bool send(std::span<const std::uint8_t> frame);
    const std::string& error() const { return error_; }

private:
    friend bool
    WaitForFrames(std::span<ArpCapture* const>, std::chrono::milliseconds,
                  const std::function<bool(std::size_t, std::span<const std::uint8_t>)>&);
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string error_;
};

// Reads the frames of several open captures as they arrive until `limit` has passed or
// `frame` returns true (done). `frame` gets the index of the capture in `captures` and
// the bytes, valid during the call. False when reading failed.
bool WaitForFrames(std::span<ArpCapture* const> captures, std::chrono::milliseconds limit,
                   const std::function<bool(std::size_t, std::span<const std::uint8_t>)>& frame);

} // namespace galvorn::platform
