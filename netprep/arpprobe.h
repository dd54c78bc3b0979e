#pragma once

#include "netprep/freeaddresswalk.h"
#include "platform/adapters.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// ARP probes on the local adapters through the packet-capture seam, with the program's
// one ARP frame code. Addresses in host byte order.
namespace galvorn::netprep {

// How long the replies to one round of requests are awaited.
inline constexpr std::chrono::milliseconds kProbeWindow{1000};

// Why a probe could not run: a platform::CaptureResult code and the system's text.
struct ProbeFailure
{
    int capture = 0;
    std::string text;
};

// Asks every physical adapter that is up and can do ARP at once who has `address`, and
// sets `found` to the adapter on which the first reply from `deviceMac` arrived within
// the window. False when no such reply came (or no adapter could be probed); `failure` is
// then set when an adapter could not be opened for lack of rights.
bool FindAdapterByArp(const std::vector<platform::Adapter>& adapters, std::uint32_t address,
                      const platform::MacBytes& deviceMac, platform::Adapter& found,
                      ProbeFailure& failure, std::chrono::milliseconds window = kProbeWindow);

// Probes candidates on one adapter: every request of a batch leaves at once, and the
// replies are read for one window, which ends early once every candidate has answered.
// A reply counts when it comes from another station than the adapter itself.
class AdapterProber : public CandidateProber
{
public:
    explicit AdapterProber(const platform::Adapter& adapter,
                           std::chrono::milliseconds window = kProbeWindow);

    bool probe(std::span<const std::uint32_t> candidates, std::vector<bool>& inUse) override;
    // Why the last probe failed.
    const ProbeFailure& failure() const { return failure_; }

private:
    const platform::Adapter& adapter_;
    std::chrono::milliseconds window_;
    ProbeFailure failure_;
};

} // namespace galvorn::netprep
