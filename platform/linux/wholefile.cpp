#include "platform/wholefile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace galvorn::platform {

namespace {

constexpr std::size_t kBlockBytes = 65536;

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::size_t maxBytes, WholeFileFault& fault)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        fault = errno == ENOENT || errno == ENOTDIR ? WholeFileFault::Missing
                                                    : WholeFileFault::Unreadable;
        return std::nullopt;
    }
    struct stat info
    {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        fault = WholeFileFault::Unreadable;
        return std::nullopt;
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        fault = WholeFileFault::TooLarge;
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t block[kBlockBytes];
    for (;;) {
        const ssize_t got = ::read(file.get(), block, sizeof block);
        if (got == 0)
            break;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            fault = WholeFileFault::Unreadable;
            return std::nullopt;
        }
        // The file may have grown since it was measured.
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            fault = WholeFileFault::TooLarge;
            return std::nullopt;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    fault = WholeFileFault::None;
    return bytes;
}

std::optional<std::string> ReadWholeTextFile(const std::string& path, std::size_t maxBytes,
                                             WholeFileFault& fault)
{
    const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path, maxBytes, fault);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

} // namespace galvorn::platform
