#pragma once

#include <map>
#include <memory>
#include <mutex>

namespace galvorn::device {
class CNetDevice;
}

namespace galvorn {

// The work in progress of each device session of the window's runs (a transfer, a batch
// add), so that the sessions' callbacks find it. Entries are shared: a callback that took
// one keeps it alive while the worker unregisters it. Every member locks.
template <typename Work>
class SessionRegistry
{
public:
    void add(const device::CNetDevice* session, std::shared_ptr<Work> work)
    {
        const std::lock_guard guard(lock_);
        entries_.insert_or_assign(session, std::move(work));
    }

    void remove(const device::CNetDevice* session)
    {
        const std::lock_guard guard(lock_);
        entries_.erase(session);
    }

    // Null when the session has no work registered.
    std::shared_ptr<Work> find(const device::CNetDevice* session) const
    {
        const std::lock_guard guard(lock_);
        const auto entry = entries_.find(session);
        return entry == entries_.end() ? nullptr : entry->second;
    }

    // Wakes every registered work's waiting worker (a stop request).
    void wakeAll() const
    {
        const std::lock_guard guard(lock_);
        for (const auto& [session, work] : entries_)
            work->wake();
    }

private:
    mutable std::mutex lock_;
    std::map<const device::CNetDevice*, std::shared_ptr<Work>> entries_;
};

// Keeps a work registered for its session for the life of the guard.
template <typename Work>
class SessionRegistration
{
public:
    SessionRegistration(SessionRegistry<Work>& registry, const device::CNetDevice& session,
                        std::shared_ptr<Work> work)
        : registry_(registry), session_(&session)
    {
        registry_.add(session_, std::move(work));
    }
    ~SessionRegistration() { registry_.remove(session_); }
    SessionRegistration(const SessionRegistration&) = delete;
    SessionRegistration& operator=(const SessionRegistration&) = delete;

private:
    SessionRegistry<Work>& registry_;
    const device::CNetDevice* session_;
};

} // namespace galvorn
