// Picking a free address of a /24 in which 250 of the 254 hosts answer ARP: the helper's
// batched probes beside the one-candidate-at-a-time probe that the address preparation
// used before (a capture opened per candidate, replies read until one comes or 1000 ms
// pass). Both run on the same test network of namespaces (testkit/foreignsubnet.h).
//
//   tests/netns/run-in-netns.sh build/<preset>/bin/galvorn_bench_netprep
#include "common/arpframe.h"
#include "netprep/arpprobe.h"
#include "netprep/freeaddresswalk.h"
#include "netprep/prepare.h"
#include "platform/adapters.h"
#include "platform/netif.h"
#include "testkit/foreignsubnet.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <pcap/pcap.h>
#include <poll.h>

namespace {

using namespace galvorn;
using Clock = std::chrono::steady_clock;

constexpr int kOneProbeWindowMs = 1000;

std::uint32_t ip(const char* text)
{
    std::uint32_t value = 0;
    platform::parseIpv4(text, value);
    return value;
}

// The network, built once for the whole run; nullptr when it cannot be built here.
const platform::Adapter* pcAdapter()
{
    static testing::ForeignSubnet net;
    static platform::Adapter adapter;
    static const bool built = [] {
        testing::ForeignSubnetOptions options;
        options.secondAdapter = false;
        options.busyHosts = testing::ForeignSubnet::crowdedHosts();
        std::string error;
        if (!net.build(options, error)) {
            std::fprintf(stderr, "cannot build the test network: %s\n", error.c_str());
            return false;
        }
        std::vector<platform::Adapter> adapters;
        platform::GetAdapterList(adapters);
        for (const auto& entry : adapters) {
            if (entry.name == testing::ForeignSubnet::kPcAdapter)
                adapter = entry;
        }
        return !adapter.name.empty();
    }();
    return built ? &adapter : nullptr;
}

// One probe as the preparation made it before: its own capture with a read timeout of
// 1000 ms, one request, and replies read until one comes from another station or the
// 1000 ms have passed. True when the candidate answered.
bool probeOneCandidate(const platform::Adapter& adapter, std::uint32_t candidate)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* pcap = pcap_open_live(adapter.name.c_str(), 100, 1, kOneProbeWindowMs, error);
    if (!pcap)
        return false;
    const auto request = common::arp::BuildRequest(adapter.mac, candidate);
    bool answered = false;
    // Blocking reads past the window's end are cut off by waiting on the capture's
    // descriptor for the time that is left.
    pcap_setnonblock(pcap, 1, error);
    pollfd fd{pcap_get_selectable_fd(pcap), POLLIN, 0};
    if (pcap_inject(pcap, request.data(), request.size()) == static_cast<int>(request.size())) {
        const auto end = Clock::now() + std::chrono::milliseconds(kOneProbeWindowMs);
        while (!answered && Clock::now() < end) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            ::poll(&fd, 1, static_cast<int>(std::max<long>(left.count(), 0)));
            pcap_pkthdr* header = nullptr;
            const u_char* bytes = nullptr;
            if (pcap_next_ex(pcap, &header, &bytes) != 1)
                continue;
            common::arp::ArpFrame frame;
            answered = common::arp::ParseFrame({bytes, header->caplen}, frame) ==
                           common::arp::ParseResult::Ok &&
                       common::arp::IsReplyFor(frame, candidate) && frame.source != adapter.mac;
        }
    }
    pcap_close(pcap);
    return answered;
}

class OneAtATimeProber : public netprep::CandidateProber
{
public:
    explicit OneAtATimeProber(const platform::Adapter& adapter) : adapter_(adapter) {}
    bool probe(std::span<const std::uint32_t> candidates, std::vector<bool>& inUse) override
    {
        for (std::size_t i = 0; i < candidates.size(); ++i)
            inUse[i] = probeOneCandidate(adapter_, candidates[i]);
        return true;
    }

private:
    const platform::Adapter& adapter_;
};

// The helper's pick: random walks, batches of candidates probed at once.
void BM_PickFreeAddressBatched(benchmark::State& state)
{
    const platform::Adapter* adapter = pcAdapter();
    if (!adapter) {
        state.SkipWithError("no test network");
        return;
    }
    for (auto _ : state) {
        const netprep::WalkSeed seed = netprep::RandomWalkSeed();
        netprep::FreeAddressWalk walk(ip("198.51.100.10"), ip("255.255.255.0"), seed.r1, seed.r2);
        netprep::AdapterProber prober(*adapter);
        std::uint32_t picked = 0;
        if (netprep::PickFreeAddress(walk, {}, prober, picked) != netprep::PickResult::kFound) {
            state.SkipWithError("no free address found");
            return;
        }
        benchmark::DoNotOptimize(picked);
    }
}
BENCHMARK(BM_PickFreeAddressBatched)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One candidate probed the old way: an address in use (Arg 1) or a free one (Arg 0).
void BM_OldProbeOneCandidate(benchmark::State& state)
{
    const platform::Adapter* adapter = pcAdapter();
    if (!adapter) {
        state.SkipWithError("no test network");
        return;
    }
    const std::uint32_t candidate = ip(state.range(0) ? "198.51.100.77" : "198.51.100.253");
    for (auto _ : state)
        benchmark::DoNotOptimize(probeOneCandidate(*adapter, candidate));
}
BENCHMARK(BM_OldProbeOneCandidate)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The old pick as a whole, one candidate after another along the same walk; a fixed
// seed whose walk meets a free host after 41 busy ones (.210 to .250, then .251).
void BM_OldPickFreeAddressOneAtATime(benchmark::State& state)
{
    const platform::Adapter* adapter = pcAdapter();
    if (!adapter) {
        state.SkipWithError("no test network");
        return;
    }
    std::size_t candidates = 0;
    for (auto _ : state) {
        netprep::FreeAddressWalk walk(ip("198.51.100.10"), ip("255.255.255.0"), 210, 1);
        OneAtATimeProber prober(*adapter);
        std::uint32_t picked = 0;
        std::uint32_t candidate = 0;
        while ((candidate = walk.next()) != 0) {
            ++candidates;
            std::vector<bool> inUse(1, false);
            prober.probe({&candidate, 1}, inUse);
            if (!inUse[0]) {
                picked = candidate;
                break;
            }
        }
        benchmark::DoNotOptimize(picked);
    }
    state.counters["candidates"] = static_cast<double>(candidates);
}
BENCHMARK(BM_OldPickFreeAddressOneAtATime)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
