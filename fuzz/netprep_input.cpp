// What the address helper reads: its command line (from whoever starts it, with raised
// capabilities) and, on the window's side, its one-line report. An accepted command line
// names a unicast host of a /8 to /30 subnet and reads back the same from its own
// dotted texts; a report that is read writes back to a line that reads as the same report.
#include "fuzz/fuzzinput.h"
#include "netprep/arguments.h"
#include "platform/adapters.h"
#include "platform/netif.h"
#include "platform/netprepreport.h"

#include <cstdio>
#include <string>
#include <vector>

using galvorn::fuzz::FuzzInput;
using namespace galvorn;

namespace {

bool sameReport(const platform::NetprepReport& a, const platform::NetprepReport& b)
{
    return a.outcome == b.outcome && a.adapter == b.adapter && a.adapterIndex == b.adapterIndex &&
           a.foundByArp == b.foundByArp && a.address == b.address && a.mask == b.mask &&
           a.reason == b.reason && a.capability == b.capability && a.call == b.call &&
           a.error == b.error;
}

std::string macText(const platform::MacBytes& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

void checkArguments(std::span<const std::uint8_t> bytes)
{
    // Words separated by NUL bytes, as they arrive in argv.
    std::vector<std::string> words(1);
    for (const std::uint8_t byte : bytes) {
        if (byte == 0)
            words.emplace_back();
        else
            words.back().push_back(static_cast<char>(byte));
    }
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    netprep::PrepareRequest request;
    if (!netprep::ParseArguments(argv, request).empty())
        return;
    const int prefix = platform::PrefixLength(request.mask);
    FUZZ_CHECK(prefix >= 8 && prefix <= 30);
    const std::uint32_t host = request.address & ~request.mask;
    FUZZ_CHECK(host != 0 && host != ~request.mask);
    const std::uint32_t first = request.address >> 24;
    FUZZ_CHECK(first != 0 && first != 127 && first < 224 && (request.address >> 16) != 0xA9FE);
    FUZZ_CHECK((request.mac[0] & 1) == 0);

    const std::string address = platform::ipv4Text(request.address);
    const std::string mask = platform::ipv4Text(request.mask);
    const std::string mac = macText(request.mac);
    const char* again[] = {"prepare",    "--address", address.c_str(), "--mask",
                           mask.c_str(), "--mac",     mac.c_str()};
    netprep::PrepareRequest reread;
    FUZZ_CHECK(netprep::ParseArguments(again, reread).empty());
    FUZZ_CHECK(reread.address == request.address && reread.mask == request.mask &&
               reread.mac == request.mac);
}

void checkReport(std::span<const std::uint8_t> bytes)
{
    platform::NetprepReport report;
    if (!platform::ParseNetprepReport(galvorn::fuzz::text(bytes), report))
        return;
    const std::string line = platform::FormatNetprepReport(report);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    platform::NetprepReport reread;
    FUZZ_CHECK(platform::ParseNetprepReport(line, reread));
    FUZZ_CHECK(platform::FormatNetprepReport(reread) == line);
    platform::NetprepReport third;
    FUZZ_CHECK(platform::ParseNetprepReport(platform::FormatNetprepReport(reread), third));
    FUZZ_CHECK(sameReport(reread, third));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const bool arguments = (input.u8() & 1) != 0;
    const std::span<const std::uint8_t> rest = input.rest();
    if (arguments)
        checkArguments(rest);
    else
        checkReport(rest);
    return 0;
}
