#include "tools/devsim/reactorthread.h"

#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace galvorn::devsim {

ReactorThread::ReactorThread() : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    reactor_.watch(stopFd_, POLLIN, [this](short) { reactor_.stop(); });
}

ReactorThread::~ReactorThread()
{
    stop();
    reactor_.unwatch(stopFd_);
    ::close(stopFd_);
}

void ReactorThread::start()
{
    thread_ = std::thread([this] { reactor_.run(); });
}

void ReactorThread::stop()
{
    if (!thread_.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
}

} // namespace galvorn::devsim
