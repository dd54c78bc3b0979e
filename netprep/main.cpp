// galvorn-netprep: the small privileged helper that makes a device's second address
// reachable. It runs with the file capabilities CAP_NET_RAW and CAP_NET_ADMIN (given by
// ./run install) and does one thing: search the device by ARP, pick a free address of its
// subnet and add it to the adapter. It prints one line of JSON with the result.
#include "netprep/arguments.h"
#include "netprep/prepare.h"
#include "platform/netprepreport.h"

#include <cstdio>
#include <span>

int main(int argc, char** argv)
{
    using namespace galvorn;
    const std::span<const char* const> arguments(argv + (argc > 0 ? 1 : 0),
                                                 static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    netprep::PrepareRequest request;
    platform::NetprepReport report;
    if (std::string reason = netprep::ParseArguments(arguments, request); !reason.empty()) {
        std::fprintf(stderr, "galvorn-netprep: %s\n", reason.c_str());
        report.outcome = platform::NetprepOutcome::Refused;
        report.reason = std::move(reason);
    } else {
        report = netprep::PrepareDevice(request, netprep::RandomWalkSeed());
    }
    std::printf("%s\n", platform::FormatNetprepReport(report).c_str());
    return std::fflush(stdout) == 0 ? netprep::ExitCodeOf(report)
                                    : platform::NetprepExit::kSystemFailed;
}
