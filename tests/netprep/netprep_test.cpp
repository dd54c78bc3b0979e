// The helper's pieces that need no network: its argument parser, the walk over a
// subnet's hosts, the batched pick of a free address, and its one-line JSON report.
#include "netprep/arguments.h"
#include "netprep/freeaddresswalk.h"
#include "netprep/prepare.h"
#include "platform/netif.h"
#include "platform/netprepreport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace galvorn::netprep {
namespace {

using platform::NetprepOutcome;
using platform::NetprepReport;

std::uint32_t ip(const char* text)
{
    std::uint32_t value = 0;
    EXPECT_TRUE(platform::parseIpv4(text, value)) << text;
    return value;
}

// --- arguments ---------------------------------------------------------------------------

std::string parse(std::vector<const char*> words, PrepareRequest& request)
{
    return ParseArguments(words, request);
}

std::vector<const char*> prepareWords(const char* address, const char* mask, const char* mac)
{
    return {"prepare", "--address", address, "--mask", mask, "--mac", mac};
}

TEST(NetprepArguments, AcceptsTheOneFormInAnyOptionOrder)
{
    PrepareRequest request;
    ASSERT_EQ(parse(prepareWords("198.51.100.10", "255.255.255.0", "00:1a:2B:00:00:01"), request),
              "");
    EXPECT_EQ(request.address, ip("198.51.100.10"));
    EXPECT_EQ(request.mask, ip("255.255.255.0"));
    EXPECT_EQ(request.mac, (platform::MacBytes{0x00, 0x1A, 0x2B, 0x00, 0x00, 0x01}));

    PrepareRequest reordered;
    ASSERT_EQ(parse({"prepare", "--mac", "00:1a:2b:00:00:01", "--mask", "255.255.0.0", "--address",
                     "10.20.30.40"},
                    reordered),
              "");
    EXPECT_EQ(reordered.address, ip("10.20.30.40"));
    EXPECT_EQ(reordered.mask, ip("255.255.0.0"));
    EXPECT_EQ(reordered.mac, request.mac);

    for (const char* mask : {"255.0.0.0", "255.255.255.252"}) {
        PrepareRequest edge;
        EXPECT_EQ(parse(prepareWords("10.1.1.1", mask, "02:00:00:00:00:01"), edge), "") << mask;
    }
}

TEST(NetprepArguments, RefusesEverythingOutsideItsJob)
{
    const std::string longWord(kMaxArgumentBytes + 1, '1');
    struct Case
    {
        std::vector<const char*> words;
        const char* reason;
    };
    const char* const mac = "00:1a:2b:00:00:01";
    const std::vector<Case> cases = {
        {{}, "usage"},
        {{"prepare"}, "usage"},
        {{"add", "--address", "198.51.100.10", "--mask", "255.255.255.0", "--mac", mac}, "command"},
        {{"prepare", "--address", "198.51.100.10", "--mask", "255.255.255.0", "--mac", mac, "x"},
         "usage"},
        {{"prepare", "--address", "198.51.100.10", "--address", "198.51.100.11", "--mac", mac},
         "twice"},
        {{"prepare", "--addr", "198.51.100.10", "--mask", "255.255.255.0", "--mac", mac},
         "unknown"},
        {{"prepare", "--address=198.51.100.10", "--mask", "255.255.255.0", "--mac", mac, "x"},
         "unknown"},
        {prepareWords(longWord.c_str(), "255.255.255.0", mac), "longer"},
        {prepareWords("2001:db8::1", "255.255.255.0", mac), "not dotted"},
        {prepareWords("198.51.100", "255.255.255.0", mac), "not dotted"},
        {prepareWords("198.51.100.256", "255.255.255.0", mac), "not dotted"},
        {prepareWords("198.51.100.010", "255.255.255.0", mac), "not dotted"},
        {prepareWords("0xc6.51.100.10", "255.255.255.0", mac), "not dotted"},
        {prepareWords(" 198.51.100.10", "255.255.255.0", mac), "not dotted"},
        {prepareWords("198.51.100.10 ", "255.255.255.0", mac), "not dotted"},
        {prepareWords("", "255.255.255.0", mac), "not dotted"},
        {prepareWords("127.0.0.5", "255.0.0.0", mac), "loopback"},
        {prepareWords("224.0.0.251", "255.255.255.0", mac), "multicast"},
        {prepareWords("239.192.71.3", "255.255.255.0", mac), "multicast"},
        {prepareWords("255.255.255.255", "255.255.255.0", mac), "broadcast"},
        {prepareWords("0.1.2.3", "255.255.255.0", mac), "0.0.0.0/8"},
        {prepareWords("169.254.1.1", "255.255.0.0", mac), "link-local"},
        {prepareWords("198.51.100.10", "255.255.255.255", mac), "/8 to /30"},
        {prepareWords("198.51.100.10", "255.255.255.254", mac), "/8 to /30"},
        {prepareWords("10.1.2.3", "254.0.0.0", mac), "/8 to /30"},
        {prepareWords("10.1.2.3", "0.0.0.0", mac), "/8 to /30"},
        {prepareWords("198.51.100.10", "255.0.255.0", mac), "contiguous"},
        {prepareWords("198.51.100.10", "24", mac), "mask is not dotted"},
        {prepareWords("198.51.100.0", "255.255.255.0", mac), "network address"},
        {prepareWords("198.51.100.255", "255.255.255.0", mac), "broadcast address"},
        {prepareWords("198.51.100.10", "255.255.255.0", "00:1a:2b:00:00"), "six"},
        {prepareWords("198.51.100.10", "255.255.255.0", "00-1a-2b-00-00-01"), "six"},
        {prepareWords("198.51.100.10", "255.255.255.0", "00:1a:2b:00:00:0g"), "six"},
        {prepareWords("198.51.100.10", "255.255.255.0", "00:1a:2b:00:00:01:"), "six"},
        {prepareWords("198.51.100.10", "255.255.255.0", "0:1a:2b:00:00:011"), "six"},
        {prepareWords("198.51.100.10", "255.255.255.0", "00:00:00:00:00:00"), "zero"},
        {prepareWords("198.51.100.10", "255.255.255.0", "01:00:5e:00:00:01"), "multicast"},
        {prepareWords("198.51.100.10", "255.255.255.0", "ff:ff:ff:ff:ff:ff"), "broadcast"},
    };
    for (const Case& c : cases) {
        PrepareRequest request;
        request.address = 7;
        const std::string reason = parse(c.words, request);
        EXPECT_NE(reason.find(c.reason), std::string::npos)
            << (c.words.size() > 2 ? c.words[2] : "") << " gave: " << reason;
        EXPECT_EQ(request.address, 7u) << "a refused request is left alone";
    }
}

// --- the walk ----------------------------------------------------------------------------

// The walk as the program always took it, step 0 made 1, until it meets a host it tried.
std::vector<std::uint32_t> strideHosts(std::uint32_t max, std::uint32_t r1, std::uint32_t r2)
{
    std::uint32_t start = r1 % (max + 1);
    if (start < 1)
        start = (max + 1) / 2;
    const std::uint32_t step = std::max<std::uint32_t>(r2 % start, 1);
    std::vector<std::uint32_t> hosts;
    std::set<std::uint32_t> seen;
    for (std::uint32_t host = start; seen.insert(host).second;) {
        hosts.push_back(host);
        host += step;
        while (host > max || host < 1) {
            if (host > max)
                host = (host + 1) % step;
            if (host < 1)
                host += step;
        }
    }
    return hosts;
}

std::vector<std::uint32_t> walkAll(FreeAddressWalk& walk)
{
    std::vector<std::uint32_t> all;
    for (std::uint32_t candidate = walk.next(); candidate != 0; candidate = walk.next())
        all.push_back(candidate);
    return all;
}

TEST(FreeAddressWalk, FollowsTheStrideFromTheRandomStart)
{
    // /28: start 13, step 5 visits 13 4 9 14 5 10 15 1 6 11 2 7 12 3 8; the device is .9
    // and .15 is the broadcast address.
    FreeAddressWalk walk(ip("198.51.100.9"), ip("255.255.255.240"), 13, 5);
    EXPECT_EQ(walk.start(), 13u);
    EXPECT_EQ(walk.step(), 5u);
    std::vector<std::uint32_t> hosts;
    for (const std::uint32_t candidate : walkAll(walk))
        hosts.push_back(candidate - ip("198.51.100.0"));
    EXPECT_EQ(hosts, (std::vector<std::uint32_t>{13, 4, 14, 5, 10, 1, 6, 11, 2, 7, 12, 3, 8}));
}

// Every start and step of small subnets and a sample of a /24: the stride's order is kept,
// and every host but the network, broadcast and device's own address comes exactly once.
TEST(FreeAddressWalk, TriesEveryUsableHostExactlyOnce)
{
    struct Subnet
    {
        const char* device;
        const char* mask;
        std::uint32_t r1Count;
        std::uint32_t r2Count;
    };
    for (const Subnet& subnet : {Subnet{"192.0.2.1", "255.255.255.252", 8, 8},
                                 Subnet{"192.0.2.6", "255.255.255.248", 16, 16},
                                 Subnet{"192.0.2.33", "255.255.255.224", 64, 64},
                                 Subnet{"198.51.100.10", "255.255.255.0", 60, 20}}) {
        const std::uint32_t device = ip(subnet.device);
        const std::uint32_t mask = ip(subnet.mask);
        std::set<std::uint32_t> expected;
        for (std::uint32_t host = 1; host < ~mask; ++host)
            expected.insert((device & mask) | host);
        expected.erase(device);
        for (std::uint32_t r1 = 0; r1 < subnet.r1Count; ++r1) {
            for (std::uint32_t r2 = 0; r2 < subnet.r2Count; ++r2) {
                FreeAddressWalk walk(device, mask, r1 * 7919u, r2 * 104729u);
                const std::vector<std::uint32_t> all = walkAll(walk);
                ASSERT_EQ(std::set<std::uint32_t>(all.begin(), all.end()), expected)
                    << subnet.device << " r1 " << r1 << " r2 " << r2;
                ASSERT_EQ(all.size(), expected.size()) << "no host twice";
                std::vector<std::uint32_t> strided;
                for (const std::uint32_t host : strideHosts(~mask, r1 * 7919u, r2 * 104729u)) {
                    if (expected.count((device & mask) | host))
                        strided.push_back((device & mask) | host);
                }
                ASSERT_TRUE(std::equal(strided.begin(), strided.end(), all.begin()))
                    << "the stride comes first, r1 " << r1 << " r2 " << r2;
            }
        }
    }
}

// A second random value that is a multiple of the start once made the walk try a single
// host; the step is at least 1 now.
TEST(FreeAddressWalk, AZeroStepStillWalksTheWholeSubnet)
{
    FreeAddressWalk walk(ip("198.51.100.10"), ip("255.255.255.0"), 100, 300);
    EXPECT_EQ(walk.step(), 1u);
    EXPECT_EQ(walkAll(walk).size(), 253u);
}

// --- picking a free address --------------------------------------------------------------

class FakeProber : public CandidateProber
{
public:
    explicit FakeProber(std::set<std::uint32_t> answering) : answering_(std::move(answering)) {}

    bool probe(std::span<const std::uint32_t> candidates, std::vector<bool>& inUse) override
    {
        batches.emplace_back(candidates.begin(), candidates.end());
        for (std::size_t i = 0; i < candidates.size(); ++i)
            inUse[i] = answering_.count(candidates[i]) != 0;
        return !fail;
    }

    std::vector<std::vector<std::uint32_t>> batches;
    bool fail = false;

private:
    std::set<std::uint32_t> answering_;
};

// 250 of the 254 hosts of a /24 answer, as in the benchmark: one batch, and the pick is
// the first free host in walk order.
TEST(PickFreeAddress, TakesTheFirstFreeCandidateOfOneBatch)
{
    const std::uint32_t device = ip("198.51.100.10");
    const std::uint32_t mask = ip("255.255.255.0");
    std::set<std::uint32_t> answering;
    for (std::uint32_t host = 1; host <= 250; ++host)
        answering.insert(ip("198.51.100.0") | host);
    const std::uint32_t local = ip("198.51.100.252");
    const std::uint32_t locals[] = {local};
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
        FakeProber prober(answering);
        FreeAddressWalk walk(device, mask, seed * 31u, seed * 17u);
        std::uint32_t picked = 0;
        ASSERT_EQ(PickFreeAddress(walk, locals, prober, picked), PickResult::kFound);
        FreeAddressWalk again(device, mask, seed * 31u, seed * 17u);
        std::uint32_t expected = again.next();
        while (answering.count(expected) || expected == local)
            expected = again.next();
        EXPECT_EQ(picked, expected) << seed;
        ASSERT_EQ(prober.batches.size(), 1u);
        EXPECT_EQ(prober.batches[0].size(), 252u) << "253 hosts but the local one";
        EXPECT_EQ(std::count(prober.batches[0].begin(), prober.batches[0].end(), local), 0);
    }
}

TEST(PickFreeAddress, ProbesALargeSubnetBatchByBatchUntilOneIsFree)
{
    const std::uint32_t device = ip("10.20.0.1");
    const std::uint32_t mask = ip("255.255.0.0");
    FreeAddressWalk order(device, mask, 4242, 77);
    std::vector<std::uint32_t> walked;
    for (int i = 0; i < 600; ++i)
        walked.push_back(order.next());
    // Only the 520th candidate in walk order is free among the first 600.
    std::set<std::uint32_t> answering(walked.begin(), walked.end());
    answering.erase(walked[519]);

    FakeProber prober(answering);
    FreeAddressWalk walk(device, mask, 4242, 77);
    std::uint32_t picked = 0;
    ASSERT_EQ(PickFreeAddress(walk, {}, prober, picked), PickResult::kFound);
    EXPECT_EQ(picked, walked[519]);
    ASSERT_EQ(prober.batches.size(), 3u);
    for (const auto& batch : prober.batches)
        EXPECT_EQ(batch.size(), kProbeBatch);
    EXPECT_EQ(prober.batches[2].front(), walked[2 * kProbeBatch]);
}

TEST(PickFreeAddress, EndsWhenEveryHostAnsweredOrTheProbeFailed)
{
    const std::uint32_t device = ip("192.0.2.33");
    const std::uint32_t mask = ip("255.255.255.224");
    std::set<std::uint32_t> everyone;
    for (std::uint32_t host = 0; host < 32; ++host)
        everyone.insert(ip("192.0.2.32") | host);
    FakeProber busy(everyone);
    FreeAddressWalk walk(device, mask, 5, 3);
    std::uint32_t picked = 0;
    EXPECT_EQ(PickFreeAddress(walk, {}, busy, picked), PickResult::kNoneFree);
    EXPECT_EQ(picked, 0u);
    ASSERT_EQ(busy.batches.size(), 1u);
    EXPECT_EQ(busy.batches[0].size(), 29u) << "30 hosts but the device's own";

    FakeProber broken({});
    broken.fail = true;
    FreeAddressWalk again(device, mask, 5, 3);
    EXPECT_EQ(PickFreeAddress(again, {}, broken, picked), PickResult::kProbeFailed);
    EXPECT_EQ(picked, 0u);
}

// --- the report --------------------------------------------------------------------------

TEST(NetprepReport, EveryOutcomeSurvivesTheLine)
{
    for (const NetprepOutcome outcome :
         {NetprepOutcome::Added, NetprepOutcome::NotNeeded, NetprepOutcome::NoAdapter,
          NetprepOutcome::NoFreeAddress, NetprepOutcome::MissingCapability,
          NetprepOutcome::SystemFailed, NetprepOutcome::Refused}) {
        NetprepReport report;
        report.outcome = outcome;
        report.adapter = "lan0";
        report.adapterIndex = 4;
        report.foundByArp = true;
        report.address = ip("198.51.100.57");
        report.mask = ip("255.255.255.0");
        report.reason = "a \"quoted\"\nreason\twith\\ controls \x01";
        report.capability = "CAP_NET_ADMIN";
        report.call = "adding the address";
        report.error = "Operation not permitted";
        const std::string line = platform::FormatNetprepReport(report);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        NetprepReport read;
        ASSERT_TRUE(platform::ParseNetprepReport(line, read)) << line;
        EXPECT_EQ(read.outcome, outcome);
        EXPECT_EQ(read.adapter, report.adapter);
        EXPECT_EQ(read.adapterIndex, report.adapterIndex);
        EXPECT_EQ(read.foundByArp, report.foundByArp);
        EXPECT_EQ(read.address, report.address);
        EXPECT_EQ(read.mask, report.mask);
        EXPECT_EQ(read.reason, report.reason);
        EXPECT_EQ(read.capability, report.capability);
        EXPECT_EQ(read.call, report.call);
        EXPECT_EQ(read.error, report.error);
    }
}

TEST(NetprepReport, SystemTextsThatAreNoUtf8StillMakeOneLine)
{
    NetprepReport report;
    report.error = "bad \xff\xfe bytes";
    const std::string line = platform::FormatNetprepReport(report);
    NetprepReport read;
    ASSERT_TRUE(platform::ParseNetprepReport(line, read)) << line;
    EXPECT_EQ(read.error.rfind("bad ", 0), 0u);
}

TEST(NetprepReport, RefusesLinesItDidNotWrite)
{
    const char* const lines[] = {
        "",
        "added",
        "[\"added\"]",
        "{\"result\":\"added\"",
        "{\"result\":\"taken\"}",
        "{\"result\":7}",
        "{}",
        "{\"result\":\"added\",\"address\":\"198.51.100\"}",
        "{\"result\":\"added\",\"address\":3325256761}",
        "{\"result\":\"added\",\"ifindex\":-1}",
        "{\"result\":\"added\",\"ifindex\":\"2\"}",
        "{\"result\":\"added\",\"ifindex\":99999999999}",
        "{\"result\":\"added\",\"foundByArp\":1}",
        "{\"result\":\"added\",\"adapter\":[]}",
        "{\"result\":\"added\"} trailing",
    };
    for (const char* line : lines) {
        NetprepReport read;
        read.adapter = "untouched";
        EXPECT_FALSE(platform::ParseNetprepReport(line, read)) << line;
        EXPECT_EQ(read.adapter, "untouched") << line;
    }
}

TEST(NetprepExitCode, FollowsTheOutcome)
{
    const std::pair<NetprepOutcome, int> expected[] = {
        {NetprepOutcome::Added, 0},
        {NetprepOutcome::NotNeeded, 0},
        {NetprepOutcome::NoAdapter, 0},
        {NetprepOutcome::NoFreeAddress, 0},
        {NetprepOutcome::MissingCapability, 1},
        {NetprepOutcome::SystemFailed, 1},
        {NetprepOutcome::Refused, 2},
    };
    for (const auto& [outcome, code] : expected) {
        NetprepReport report;
        report.outcome = outcome;
        EXPECT_EQ(ExitCodeOf(report), code);
    }
}

} // namespace
} // namespace galvorn::netprep
