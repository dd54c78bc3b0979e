#include "facelib/connectionregistry.h"

namespace galvorn {

std::uint64_t ConnectionRegistry::add(Break breakConnection)
{
    const std::lock_guard guard(lock_);
    if (broken_)
        breakConnection();
    const std::uint64_t id = nextId_++;
    entries_.emplace(id, std::move(breakConnection));
    return id;
}

void ConnectionRegistry::remove(std::uint64_t id)
{
    const std::lock_guard guard(lock_);
    entries_.erase(id);
}

void ConnectionRegistry::breakAll()
{
    const std::lock_guard guard(lock_);
    broken_ = true;
    for (const auto& [id, breakConnection] : entries_)
        breakConnection();
}

} // namespace galvorn
