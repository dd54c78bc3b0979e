#include "app/cli/clihelp.h"
#include "app/cli/commands.h"

#include <csignal>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace galvorn::cli {

void complain(std::string_view message)
{
    std::cerr << kProgramName << ": " << message << '\n' << std::flush;
}

void InterruptOnSignals(EventChannel& channel)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Every thread started from now on inherits the mask, so only the waiter below
    // receives these signals.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, &channel] {
        for (bool first = true;; first = false) {
            int received = 0;
            if (sigwait(&signals, &received) != 0)
                return;
            if (!first)
                ::_exit(kExitFailed);
            channel.interrupt();
        }
    }).detach();
}

} // namespace galvorn::cli
