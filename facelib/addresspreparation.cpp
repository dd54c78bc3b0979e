#include "facelib/addresspreparation.h"

#include "platform/addresswait.h"
#include "platform/netif.h"

#include <numeric>

namespace galvorn {

namespace {

bool overlap(std::uint32_t networkA, std::uint32_t maskA, std::uint32_t networkB,
             std::uint32_t maskB)
{
    const std::uint32_t common = maskA & maskB;
    return (networkA & common) == (networkB & common);
}

// The representative of `item` in a union-find forest.
std::size_t rootOf(std::vector<std::size_t>& parent, std::size_t item)
{
    while (parent[item] != item)
        item = parent[item] = parent[parent[item]];
    return item;
}

} // namespace

PrepareAddress SystemAddressPreparation(std::function<void(std::string_view)> log)
{
    return [log = std::move(log)](const platform::DeviceAddressInfo& device,
                                  const platform::CancelSignal& cancel) {
        platform::PrepareOptions options;
        options.cancel = &cancel;
        options.log = log;
        std::uint32_t connect = 0;
        std::uint32_t added = 0;
        if (platform::PrepareDeviceAddress(device, connect, added, options))
            platform::WaitForLocalAddress(added, platform::kAddedAddressWait, &cancel);
    };
}

AddressPreparation::AddressPreparation(std::vector<platform::DeviceAddressInfo> devices,
                                       PrepareAddress prepare)
    : devices_(std::move(devices)), prepare_(std::move(prepare)), subnetOf_(devices_.size(), -1)
{
    groupSubnets();
}

void AddressPreparation::groupSubnets()
{
    for (std::size_t job = 0; job < devices_.size(); ++job) {
        std::uint32_t address = 0;
        std::uint32_t mask = 0;
        if (!platform::parseIpv4(devices_[job].ipAddr2, address))
            continue;
        if (!platform::parseIpv4(devices_[job].maskAddr2, mask))
            mask = ~0u;
        long index = 0;
        for (; index < static_cast<long>(subnets_.size()); ++index) {
            const Subnet& subnet = subnets_[static_cast<std::size_t>(index)];
            if (subnet.mask == mask && subnet.network == (address & mask))
                break;
        }
        if (index == static_cast<long>(subnets_.size()))
            subnets_.push_back({address & mask, mask, job, false});
        subnetOf_[job] = index;
    }
    std::vector<std::size_t> parent(subnets_.size());
    std::iota(parent.begin(), parent.end(), std::size_t{0});
    for (std::size_t a = 0; a < subnets_.size(); ++a) {
        for (std::size_t b = a + 1; b < subnets_.size(); ++b) {
            if (overlap(subnets_[a].network, subnets_[a].mask, subnets_[b].network,
                        subnets_[b].mask))
                parent[rootOf(parent, b)] = rootOf(parent, a);
        }
    }
    std::vector<long> groupOfRoot(subnets_.size(), -1);
    for (std::size_t subnet = 0; subnet < subnets_.size(); ++subnet) {
        const std::size_t root = rootOf(parent, subnet);
        if (groupOfRoot[root] < 0) {
            groupOfRoot[root] = static_cast<long>(groups_.size());
            groups_.emplace_back();
        }
        groups_[static_cast<std::size_t>(groupOfRoot[root])].push_back(subnet);
    }
}

void AddressPreparation::prepareGroup(std::size_t group)
{
    for (const std::size_t subnet : groups_[group]) {
        if (cancel_.fired())
            return;
        if (prepare_)
            prepare_(devices_[subnets_[subnet].first], cancel_);
        const std::lock_guard guard(lock_);
        subnets_[subnet].ready = true;
        changed_.notify_all();
    }
}

void AddressPreparation::skipGroup(std::size_t group)
{
    const std::lock_guard guard(lock_);
    for (const std::size_t subnet : groups_[group])
        subnets_[subnet].ready = true;
    changed_.notify_all();
}

bool AddressPreparation::waitFor(std::size_t job)
{
    if (job >= subnetOf_.size() || subnetOf_[job] < 0)
        return !cancel_.fired();
    const Subnet& subnet = subnets_[static_cast<std::size_t>(subnetOf_[job])];
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return subnet.ready || cancel_.fired(); });
    return !cancel_.fired();
}

void AddressPreparation::cancel()
{
    cancel_.fire();
    const std::lock_guard guard(lock_);
    changed_.notify_all();
}

} // namespace galvorn
