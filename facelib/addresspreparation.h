#pragma once

#include "platform/addressprep.h"
#include "platform/cancelsignal.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace galvorn {

// Prepares one device's second address and, when one was added, waits until it is active
// or the wait gives up. Returns once the device can be connected; it ends early when
// `cancel` fires. Runs on a preparation thread of the run.
using PrepareAddress = std::function<void(const platform::DeviceAddressInfo& device,
                                          const platform::CancelSignal& cancel)>;

// The system's preparation: the address helper, then the wait for the added address.
// Every added address and every reason none could be added goes to `log`.
PrepareAddress SystemAddressPreparation(std::function<void(std::string_view)> log);

// The address preparation of one run. The devices' second addresses are prepared at the
// start of the run, off the GUI thread and in parallel, while each job's worker waits only
// for its own device's subnet before it connects.
//
// Devices whose second addresses lie in one subnet share one preparation: one address is
// added for the subnet, never two, with the first of these devices as the one searched
// for. Subnets that overlap (one mask shorter than the other) are prepared one after the
// other in one group, so that a later one sees the address an earlier one added and two
// preparations never pick the same address. Devices without a second address need none.
class AddressPreparation
{
public:
    // `devices[i]` belongs to the run's job i; an empty list prepares nothing.
    AddressPreparation(std::vector<platform::DeviceAddressInfo> devices, PrepareAddress prepare);

    AddressPreparation(const AddressPreparation&) = delete;
    AddressPreparation& operator=(const AddressPreparation&) = delete;

    // Groups of subnets that can be prepared in parallel, each by its own thread.
    std::size_t groupCount() const { return groups_.size(); }
    // Preparation thread: prepares the subnets of group `group` in order.
    void prepareGroup(std::size_t group);
    // When no thread could be started for a group: its jobs connect without preparation.
    void skipGroup(std::size_t group);

    // Worker thread: blocks until job `job`'s subnet is prepared. False when the run was
    // cancelled first.
    bool waitFor(std::size_t job);
    // Stops the preparations and wakes every waiting worker. Idempotent.
    void cancel();

private:
    struct Subnet
    {
        std::uint32_t network = 0;
        std::uint32_t mask = 0;
        // The job whose device is prepared for the whole subnet.
        std::size_t first = 0;
        bool ready = false;
    };

    void groupSubnets();

    const std::vector<platform::DeviceAddressInfo> devices_;
    const PrepareAddress prepare_;
    std::vector<Subnet> subnets_;
    // For every job, the index of its subnet, or -1 when it needs no preparation.
    std::vector<long> subnetOf_;
    std::vector<std::vector<std::size_t>> groups_;
    platform::CancelSignal cancel_;
    std::mutex lock_;
    std::condition_variable changed_;
};

} // namespace galvorn
