#include "discovery/networkwait.h"

#include "platform/network.h"

#include <utility>

namespace galvorn::discovery {

NetworkWait::~NetworkWait()
{
    Stop();
}

void NetworkWait::Start(std::function<void()> onAlive, std::function<bool()> isAlive,
                        std::chrono::milliseconds interval)
{
    Stop();
    if (!isAlive)
        isAlive = &platform::IsNetworkAlive;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ =
        std::thread(&NetworkWait::Run, this, std::move(onAlive), std::move(isAlive), interval);
}

void NetworkWait::Stop()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void NetworkWait::Run(std::function<void()> onAlive, std::function<bool()> isAlive,
                      std::chrono::milliseconds interval)
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        const bool alive = isAlive();
        lock.lock();
        if (stopping_)
            return;
        if (alive) {
            lock.unlock();
            if (onAlive)
                onAlive();
            return;
        }
        wake_.wait_for(lock, interval, [this] { return stopping_; });
    }
}

} // namespace galvorn::discovery
