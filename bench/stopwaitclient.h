#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::bench {

// The benchmark's reference: the least a client of the face-library transfers can do.
// One thread, a blocking socket, one gather write per request and blocking reads until
// the reply is whole; no keep-alives, no progress, no file checks. Galvorn's transfers
// are measured against it in the same run, against the same camera.
class StopWaitClient
{
public:
    StopWaitClient() = default;
    ~StopWaitClient();
    StopWaitClient(const StopWaitClient&) = delete;
    StopWaitClient& operator=(const StopWaitClient&) = delete;

    // Connects, reads the greeting and logs in. False when any step fails.
    bool open(const std::string& address, int port, std::string_view user,
              std::string_view password);

    // Exports the library into the file at `path` (the library bytes only), synced once
    // at the end. The library's size in bytes, or -1.
    std::int64_t exportTo(const std::string& path);
    // Imports the data area of the data file at `path`, from `offset` to its end, in
    // chunks of `chunk` bytes. False when any step fails.
    bool importFrom(const std::string& path, std::uint64_t offset, std::size_t chunk);

private:
    bool send(std::uint32_t command, std::span<const std::uint8_t> head,
              std::span<const std::uint8_t> data = {});
    // The next message's payload (command header stripped), keep-alives skipped; empty
    // with ok() false when the link fails.
    std::span<const std::uint8_t> receive(std::uint32_t& command);
    bool start(std::uint32_t direction, std::uint32_t& transferId);
    bool end(std::uint32_t transferId);

    int fd_ = -1;
    bool ok_ = true;
    std::vector<std::uint8_t> rx_ = std::vector<std::uint8_t>(1u << 20);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

} // namespace galvorn::bench
