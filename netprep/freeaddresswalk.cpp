#include "netprep/freeaddresswalk.h"

#include <algorithm>

namespace galvorn::netprep {

FreeAddressWalk::FreeAddressWalk(std::uint32_t device, std::uint32_t mask, std::uint32_t r1,
                                 std::uint32_t r2)
    : network_(device & mask), max_(~mask), own_(device & ~mask),
      start_(r1 % (static_cast<std::uint64_t>(max_) + 1)), step_(0), host_(0),
      tried_(static_cast<std::size_t>(max_) + 1, false)
{
    if (start_ < 1)
        start_ = (max_ + 1) / 2;
    step_ = std::max<std::uint32_t>(r2 % start_, 1);
    host_ = start_;
}

std::uint32_t FreeAddressWalk::advance(std::uint32_t host) const
{
    std::uint64_t next = static_cast<std::uint64_t>(host) + step_;
    while (next > max_ || next < 1) {
        if (next > max_)
            next = (next + 1) % step_;
        if (next < 1)
            next += step_;
    }
    return static_cast<std::uint32_t>(next);
}

std::uint32_t FreeAddressWalk::next()
{
    while (walking_) {
        const std::uint32_t host = host_;
        tried_[host] = true;
        host_ = advance(host);
        walking_ = !tried_[host_];
        if (usable(host))
            return network_ | host;
    }
    while (sweep_ < max_) {
        const std::uint32_t host = sweep_++;
        if (tried_[host])
            continue;
        tried_[host] = true;
        if (usable(host))
            return network_ | host;
    }
    return 0;
}

int PickFreeAddress(FreeAddressWalk& walk, std::span<const std::uint32_t> localAddresses,
                    CandidateProber& prober, std::uint32_t& address)
{
    std::vector<std::uint32_t> batch;
    std::vector<bool> inUse;
    for (;;) {
        batch.clear();
        while (batch.size() < kProbeBatch) {
            const std::uint32_t candidate = walk.next();
            if (candidate == 0)
                break;
            if (std::find(localAddresses.begin(), localAddresses.end(), candidate) ==
                localAddresses.end())
                batch.push_back(candidate);
        }
        if (batch.empty())
            return PickResult::kNoneFree;
        inUse.assign(batch.size(), false);
        if (!prober.probe(batch, inUse))
            return PickResult::kProbeFailed;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (!inUse[i]) {
                address = batch[i];
                return PickResult::kFound;
            }
        }
    }
}

} // namespace galvorn::netprep
