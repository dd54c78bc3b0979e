// galvorn-devsim: plays the cameras of a configuration file on the local network
// namespace until told to quit (docs/devsim.md).

#include "tools/devsim/camera.h"
#include "tools/devsim/controlchannel.h"
#include "tools/devsim/devsimconfig.h"
#include "tools/devsim/privatenetwork.h"
#include "tools/devsim/reactor.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace galvorn::devsim;

constexpr int kExitRuntime = 1;
constexpr int kExitUsage = 2;
// A longer control line is answered with an error and discarded.
constexpr std::size_t kMaxControlLine = 4096;

// Writes one line to stdout at once, so that a reader waiting for it sees it whole.
bool say(const std::string& line)
{
    const std::string text = line + "\n";
    return ::write(STDOUT_FILENO, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool readFile(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

// Each camera needs a few descriptors; the default soft limit is too low for hundreds.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int openSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

// Reads control lines from stdin. End of input ends the simulator: whoever started it
// has gone.
class StdinControl
{
public:
    StdinControl(ControlChannel& channel, Reactor& reactor) : channel_(channel), reactor_(reactor)
    {}

    void onReadable()
    {
        char chunk[1024];
        const ssize_t length = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (length <= 0) {
            reactor_.stop();
            return;
        }
        pending_.append(chunk, static_cast<std::size_t>(length));
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!runLine(line))
                return;
        }
        if (pending_.size() > kMaxControlLine) {
            pending_.clear();
            say("error line too long");
        }
    }

private:
    bool runLine(const std::string& line)
    {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            return true;
        bool quit = false;
        const std::string reply = channel_.execute(line, quit);
        if (!say(reply) || quit) {
            reactor_.stop();
            return false;
        }
        return true;
    }

    ControlChannel& channel_;
    Reactor& reactor_;
    std::string pending_;
};

int run(const char* configPath)
{
    std::string text;
    if (!readFile(configPath, text)) {
        std::fprintf(stderr, "galvorn-devsim: cannot read %s\n", configPath);
        return kExitUsage;
    }
    DevsimConfig config;
    std::string error;
    if (!parseDevsimConfig(text, config, error)) {
        std::fprintf(stderr, "galvorn-devsim: %s: %s\n", configPath, error.c_str());
        return kExitUsage;
    }
    if (!inDeclaredNamespace(error)) {
        std::fprintf(stderr, "galvorn-devsim: refusing to run: %s\n", error.c_str());
        return kExitUsage;
    }
    raiseDescriptorLimit();
    const int signalFd = openSignals();

    Reactor reactor;
    std::vector<std::unique_ptr<Camera>> cameras;
    for (auto& profile : config.cameras) {
        cameras.push_back(std::make_unique<Camera>(std::move(profile), reactor));
        if (!cameras.back()->open(error)) {
            std::fprintf(stderr, "galvorn-devsim: %s\n", error.c_str());
            return kExitRuntime;
        }
    }
    ControlChannel channel(cameras);
    StdinControl control(channel, reactor);
    reactor.watch(STDIN_FILENO, POLLIN, [&](short) { control.onReadable(); });
    if (signalFd >= 0)
        reactor.watch(signalFd, POLLIN, [&](short) { reactor.stop(); });
    if (!say("ready"))
        return kExitRuntime;
    reactor.run();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: galvorn-devsim CONFIG\n"
                             "Plays the cameras of CONFIG; see docs/devsim.md.\n");
        return kExitUsage;
    }
    return run(argv[1]);
}
