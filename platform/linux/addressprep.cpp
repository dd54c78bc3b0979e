#include "platform/addressprep.h"

#include "platform/adapters.h"
#include "platform/cancelsignal.h"
#include "platform/debuglog.h"
#include "platform/netif.h"
#include "platform/netprepreport.h"
#include "platform/paths.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace galvorn::platform {

namespace {

// The helper prints one short line; anything longer is not its report.
constexpr std::size_t kMaxReportBytes = 4096;
constexpr std::uint32_t kLinkLocalNetwork = 0xA9FE0000; // 169.254.0.0
constexpr std::uint32_t kLinkLocalMask = 0xFFFF0000;
// The masks the helper accepts: /8 to /30.
constexpr int kShortestPrefix = 8;
constexpr int kLongestPrefix = 30;

// What became of one helper run.
struct HelperRun
{
    // 0 when it started; the spawn error otherwise.
    int spawnError = 0;
    bool cancelled = false;
    // The exit status, or -1 when it did not exit normally.
    int exitCode = -1;
    std::string output;
};

class Pipe
{
public:
    Pipe()
    {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~Pipe()
    {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeEnd(int end)
    {
        if (fds_[end] >= 0)
            ::close(fds_[end]);
        fds_[end] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

// Reads the helper's output until it closes it, the output grows past the cap, or the
// cancel signal fires. False when the read was cut short.
bool readOutput(int fd, const CancelSignal* cancel, HelperRun& run)
{
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return false;
        if (cancel && cancel->fired()) {
            run.cancelled = true;
            return false;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        char chunk[512];
        const ssize_t length = ::read(fd, chunk, sizeof chunk);
        if (length == 0)
            return true;
        if (length < 0 && errno != EINTR)
            return false;
        if (length > 0)
            run.output.append(chunk, static_cast<std::size_t>(length));
        if (run.output.size() > kMaxReportBytes)
            return false;
    }
}

int waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the helper without a shell and with an empty environment: its only input is its
// arguments, and its standard output comes back here.
HelperRun runHelper(const std::string& path, std::vector<std::string> arguments,
                    const CancelSignal* cancel)
{
    HelperRun run;
    Pipe output;
    if (!output.ok()) {
        run.spawnError = errno;
        return run;
    }
    arguments.insert(arguments.begin(), path);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    char* environment[] = {nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.writeEnd(), STDOUT_FILENO);
    pid_t pid = -1;
    run.spawnError = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    output.closeEnd(1);
    if (run.spawnError != 0)
        return run;
    if (!readOutput(output.readEnd(), cancel, run))
        ::kill(pid, SIGTERM);
    run.exitCode = waitForExit(pid);
    return run;
}

std::string subnetText(std::uint32_t address, std::uint32_t mask)
{
    return ipv4Text(address & mask) + "/" + std::to_string(PrefixLength(mask));
}

// The log line of a helper report; empty when there is nothing to say.
std::string reportLine(const DeviceAddressInfo& device, const NetprepReport& report,
                       std::uint32_t address, std::uint32_t mask)
{
    const std::string prefix = "cannot add an address for " + device.mac + ": ";
    switch (report.outcome) {
    case NetprepOutcome::Added:
        return "added " + ipv4Text(report.address) + "/" + std::to_string(PrefixLength(mask)) +
               " to adapter " + report.adapter + " for " + device.mac +
               (report.foundByArp ? " (found there by ARP)"
                                  : " (no ARP answer; first usable adapter)");
    case NetprepOutcome::NotNeeded:
        return {};
    case NetprepOutcome::NoAdapter:
        return prefix + "no adapter can carry an address of " + subnetText(address, mask);
    case NetprepOutcome::NoFreeAddress:
        return prefix + "no free address in " + subnetText(address, mask) + " on adapter " +
               report.adapter;
    case NetprepOutcome::MissingCapability:
        return prefix + "the helper lacks " + report.capability + "; run ./run install";
    case NetprepOutcome::SystemFailed:
        return prefix + report.call + " failed: " + report.error;
    case NetprepOutcome::Refused:
        return prefix + "the helper refused it: " + report.reason;
    }
    return {};
}

// The report of a finished run, or a log line when there is none.
bool readReport(const DeviceAddressInfo& device, const std::string& path, const HelperRun& run,
                NetprepReport& report, std::string& line)
{
    const std::string prefix = "cannot add an address for " + device.mac + ": ";
    if (run.spawnError != 0) {
        line = prefix + "the helper " + path +
               (run.spawnError == ENOENT ? " is missing" : " cannot be started") +
               "; build it and run ./run install";
        return false;
    }
    if (run.cancelled) {
        line = prefix + "the run was cancelled";
        return false;
    }
    const std::string text = run.output.substr(0, run.output.find('\n'));
    if (run.output.size() > kMaxReportBytes || !ParseNetprepReport(text, report)) {
        line = prefix + "the helper ended without a report (exit status " +
               std::to_string(run.exitCode) + ")";
        return false;
    }
    return true;
}

void writeLog(const PrepareOptions& options, const std::string& line)
{
    if (line.empty())
        return;
    if (options.log)
        options.log(line);
    else
        debugLine(line);
}

} // namespace

bool PrepareDeviceAddress(const DeviceAddressInfo& device, std::uint32_t& connectAddress,
                          std::uint32_t& addedAddress, const PrepareOptions& options)
{
    connectAddress = 0;
    addedAddress = 0;
    std::uint32_t address = 0;
    if (!parseIpv4(device.ipAddr2, address))
        return false;
    connectAddress = htonl(address);
    // A second address that this host holds itself (as the demo's cameras do) is reached
    // as it is.
    std::uint32_t mask = 0;
    if ((address & kLinkLocalMask) == kLinkLocalNetwork || !parseIpv4(device.maskAddr2, mask) ||
        IsOnLocalSubnet(address, mask) || IsLocalAddress(connectAddress))
        return false;
    const int prefix = PrefixLength(mask);
    if (prefix < kShortestPrefix || prefix > kLongestPrefix) {
        writeLog(options, "cannot add an address for " + device.mac + ": the mask " +
                              device.maskAddr2 + " leaves no subnet to add an address of");
        return false;
    }
    const std::string path =
        options.helper.empty() ? executableDir() + "/" + kNetprepHelper : options.helper;
    const HelperRun run = runHelper(
        path,
        {"prepare", "--address", device.ipAddr2, "--mask", device.maskAddr2, "--mac", device.mac},
        options.cancel);
    NetprepReport report;
    std::string line;
    if (!readReport(device, path, run, report, line)) {
        writeLog(options, line);
        return false;
    }
    writeLog(options, reportLine(device, report, address, mask));
    if (report.outcome != NetprepOutcome::Added || report.address == 0)
        return false;
    addedAddress = htonl(report.address);
    return true;
}

bool IsLocalAddress(std::uint32_t address)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == address;
    }
    freeifaddrs(list);
    return found;
}

} // namespace galvorn::platform
