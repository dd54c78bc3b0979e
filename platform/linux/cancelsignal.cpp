#include "platform/cancelsignal.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace galvorn::platform {

CancelSignal::CancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void CancelSignal::fire() noexcept
{
    if (fired_.exchange(true) || fd_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

} // namespace galvorn::platform
