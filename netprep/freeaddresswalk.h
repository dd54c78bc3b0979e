#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Finding a free address of a device's subnet. Addresses are in host byte order.
namespace galvorn::netprep {

// The order in which the hosts of a subnet are tried. It starts at a random host and steps
// by a random stride, wrapping past the subnet's end, as the program always has; the step
// is at least 1. When the stride brings the walk back to a host it tried already, the hosts
// it has not tried follow in ascending order, so every host of the subnet is tried exactly
// once. The network address (host 0), the broadcast address (all host bits set) and the
// device's own address are never candidates.
class FreeAddressWalk
{
public:
    // `r1` and `r2` are the two random values that choose the start and the step.
    // The mask must be contiguous and leave at least two host bits.
    FreeAddressWalk(std::uint32_t device, std::uint32_t mask, std::uint32_t r1, std::uint32_t r2);

    // The next candidate, or 0 once every host has been tried.
    std::uint32_t next();

    std::uint32_t start() const { return start_; }
    std::uint32_t step() const { return step_; }

private:
    std::uint32_t advance(std::uint32_t host) const;
    bool usable(std::uint32_t host) const { return host != 0 && host != max_ && host != own_; }

    std::uint32_t network_;
    std::uint32_t max_;
    std::uint32_t own_;
    std::uint32_t start_;
    std::uint32_t step_;
    std::uint32_t host_;
    bool walking_ = true;
    std::uint32_t sweep_ = 1;
    std::vector<bool> tried_;
};

// Probes candidates by ARP, a batch at a time.
class CandidateProber
{
public:
    virtual ~CandidateProber() = default;
    // Sets inUse[i] for every candidate that answered. False when probing failed.
    virtual bool probe(std::span<const std::uint32_t> candidates, std::vector<bool>& inUse) = 0;
};

// At most this many candidates are probed at once.
inline constexpr std::size_t kProbeBatch = 256;

// PickFreeAddress() results.
struct PickResult
{
    static constexpr int kFound = 0;
    static constexpr int kNoneFree = 1;
    static constexpr int kProbeFailed = 2;
};

// The first candidate of the walk that is not a local address and does not answer ARP.
// Candidates are probed in batches of kProbeBatch in walk order; the first free one of
// the first batch that has one is taken. A PickResult code; `address` is set on kFound.
int PickFreeAddress(FreeAddressWalk& walk, std::span<const std::uint32_t> localAddresses,
                    CandidateProber& prober, std::uint32_t& address);

} // namespace galvorn::netprep
