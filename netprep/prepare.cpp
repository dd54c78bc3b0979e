#include "netprep/prepare.h"

#include "netprep/arpprobe.h"
#include "netprep/freeaddresswalk.h"
#include "platform/adapters.h"
#include "platform/arpcapture.h"

#include <sys/capability.h>

namespace galvorn::netprep {

namespace {

using platform::NetprepOutcome;
using platform::NetprepReport;

NetprepReport outcome(NetprepOutcome what)
{
    NetprepReport report;
    report.outcome = what;
    return report;
}

NetprepReport systemFailed(std::string call, std::string error)
{
    NetprepReport report = outcome(NetprepOutcome::SystemFailed);
    report.call = std::move(call);
    report.error = std::move(error);
    return report;
}

NetprepReport probeFailed(const ProbeFailure& failure)
{
    if (failure.capture == platform::CaptureResult::kNotPermitted) {
        NetprepReport report = outcome(NetprepOutcome::MissingCapability);
        report.capability = "CAP_NET_RAW";
        return report;
    }
    return systemFailed("ARP probe", failure.text);
}

void describeAdapter(NetprepReport& report, const platform::Adapter& adapter, bool foundByArp)
{
    report.adapter = adapter.name;
    report.adapterIndex = adapter.index;
    report.foundByArp = foundByArp;
}

NetprepReport addAddress(NetprepReport report, std::uint32_t address, std::uint32_t mask)
{
    std::string error;
    const int added = platform::AddAdapterAddress(address, mask, report.adapterIndex, error);
    if (added == platform::AddAddressResult::kNotPermitted) {
        NetprepReport missing = outcome(NetprepOutcome::MissingCapability);
        missing.capability = "CAP_NET_ADMIN";
        return missing;
    }
    if (added != platform::AddAddressResult::kAdded) {
        NetprepReport failed = systemFailed("adding the address", error);
        failed.adapter = report.adapter;
        failed.adapterIndex = report.adapterIndex;
        return failed;
    }
    report.outcome = NetprepOutcome::Added;
    report.address = address;
    report.mask = mask;
    return report;
}

std::vector<std::uint32_t> localAddresses()
{
    std::vector<platform::LocalAddress> table;
    platform::GetLocalAddressTable(table);
    std::vector<std::uint32_t> addresses;
    for (const auto& entry : table)
        addresses.push_back(entry.address);
    return addresses;
}

bool holds(cap_t caps, cap_value_t capability)
{
    cap_flag_value_t value = CAP_CLEAR;
    return cap_get_flag(caps, capability, CAP_EFFECTIVE, &value) == 0 && value == CAP_SET;
}

} // namespace

WalkSeed RandomWalkSeed()
{
    std::random_device device;
    std::uniform_int_distribution<std::uint32_t> any;
    return {any(device), any(device)};
}

bool HasNetworkCapabilities(const char*& missing)
{
    cap_t caps = cap_get_proc();
    if (!caps) {
        missing = "CAP_NET_ADMIN";
        return false;
    }
    missing = !holds(caps, CAP_NET_ADMIN) ? "CAP_NET_ADMIN"
              : !holds(caps, CAP_NET_RAW) ? "CAP_NET_RAW"
                                          : nullptr;
    cap_free(caps);
    return missing == nullptr;
}

NetprepReport PrepareDevice(const PrepareRequest& request, WalkSeed seed,
                            CapabilityCheck capabilities)
{
    if (platform::IsOnLocalSubnet(request.address, request.mask)) {
        NetprepReport report = outcome(NetprepOutcome::NotNeeded);
        report.reason = "local-subnet";
        return report;
    }
    const char* missing = nullptr;
    if (!capabilities(missing)) {
        NetprepReport report = outcome(NetprepOutcome::MissingCapability);
        report.capability = missing;
        return report;
    }
    std::vector<platform::Adapter> adapters;
    if (!platform::GetAdapterList(adapters))
        return systemFailed("getifaddrs", "the adapter list cannot be read");

    NetprepReport report;
    platform::Adapter adapter;
    ProbeFailure failure;
    if (FindAdapterByArp(adapters, request.address, request.mac, adapter, failure)) {
        describeAdapter(report, adapter, true);
    } else if (failure.capture != 0) {
        return probeFailed(failure);
    } else if (const platform::Adapter* fallback = platform::FallbackAdapter(adapters)) {
        adapter = *fallback;
        describeAdapter(report, adapter, false);
    } else {
        return outcome(NetprepOutcome::NoAdapter);
    }

    FreeAddressWalk walk(request.address, request.mask, seed.r1, seed.r2);
    AdapterProber prober(adapter);
    std::uint32_t address = 0;
    switch (PickFreeAddress(walk, localAddresses(), prober, address)) {
    case PickResult::kFound:
        return addAddress(std::move(report), address, request.mask);
    case PickResult::kNoneFree:
        report.outcome = NetprepOutcome::NoFreeAddress;
        return report;
    default:
        return probeFailed(prober.failure());
    }
}

int ExitCodeOf(const NetprepReport& report)
{
    switch (report.outcome) {
    case NetprepOutcome::Refused:
        return platform::NetprepExit::kRefused;
    case NetprepOutcome::MissingCapability:
    case NetprepOutcome::SystemFailed:
        return platform::NetprepExit::kSystemFailed;
    default:
        return platform::NetprepExit::kRan;
    }
}

} // namespace galvorn::netprep
