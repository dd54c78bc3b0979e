#pragma once

#include "tools/devsim/reactor.h"

#include <thread>

namespace galvorn::devsim {

// A reactor on a thread of its own, for the tests and benchmarks that run camera faces in
// their own process. The owner registers its faces with reactor() before start(), and
// calls stop() before it destroys them, since their destructors unregister from the
// reactor.
class ReactorThread
{
public:
    ReactorThread();
    // stop().
    ~ReactorThread();

    ReactorThread(const ReactorThread&) = delete;
    ReactorThread& operator=(const ReactorThread&) = delete;

    Reactor& reactor() { return reactor_; }
    void start();
    // Ends the loop and waits for the thread. Idempotent.
    void stop();

private:
    Reactor reactor_;
    int stopFd_ = -1;
    std::thread thread_;
};

} // namespace galvorn::devsim
