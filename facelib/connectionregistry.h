#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace galvorn {

// The connections that the workers of a window's runs hold at this moment (a connect in
// progress, a link reading a greeting, a device session), each as the way to break it,
// so that a quit can end them all at once once its grace period is over. A breaking
// function must be quick and must not block: it only makes the worker's own waits end.
//
// Every member locks. A function runs under the lock, so that a worker that unregisters
// its connection waits for a break in progress before the connection goes away.
class ConnectionRegistry
{
public:
    using Break = std::function<void()>;

    // Registers the connection. After breakAll() every new connection is broken at once,
    // before this returns.
    std::uint64_t add(Break breakConnection);
    void remove(std::uint64_t id);

    // Breaks every registered connection and every one registered from now on.
    void breakAll();

private:
    std::mutex lock_;
    std::map<std::uint64_t, Break> entries_;
    std::uint64_t nextId_ = 1;
    bool broken_ = false;
};

// Keeps a connection registered for its scope; declare it after the object it breaks, so
// that it is unregistered first.
class ConnectionGuard
{
public:
    ConnectionGuard(ConnectionRegistry& registry, ConnectionRegistry::Break breakConnection)
        : registry_(registry), id_(registry.add(std::move(breakConnection)))
    {}
    ~ConnectionGuard() { registry_.remove(id_); }
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

private:
    ConnectionRegistry& registry_;
    const std::uint64_t id_;
};

} // namespace galvorn
