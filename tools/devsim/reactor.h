#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace galvorn::devsim {

// A single-threaded poll(2) loop. Every face of every camera registers its descriptors
// here, so the whole simulator runs on one thread without locks. The reactor does not own
// the descriptors.
class Reactor
{
public:
    using Handler = std::function<void(short revents)>;

    // Calls `handler` whenever `fd` shows one of `events` (or an error or hang-up).
    void watch(int fd, short events, Handler handler);
    void change(int fd, short events);
    void unwatch(int fd);

    // Runs until stop() is called from a handler.
    void run();
    void stop() { running_ = false; }

private:
    struct Entry
    {
        short events = 0;
        std::uint64_t serial = 0;
        Handler handler;
    };

    std::map<int, Entry> entries_;
    std::uint64_t nextSerial_ = 0;
    bool running_ = false;
};

} // namespace galvorn::devsim
