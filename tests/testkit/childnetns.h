#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace galvorn::testing {

// A network namespace inside the test's own private one, held by a child process that
// does nothing else. It disappears with the object, or with the test process, since the
// child is killed when its parent dies. Its loopback interface is up.
class ChildNetns
{
public:
    ChildNetns();
    ~ChildNetns();

    ChildNetns(const ChildNetns&) = delete;
    ChildNetns& operator=(const ChildNetns&) = delete;

    bool ok() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // What GALVORN_NETNS must say for a program inside it.
    std::string id() const;
    // The words that run a command inside it: nsenter and its option.
    std::vector<std::string> enter() const;
    // Runs ip(8) inside it; true when it exits with 0. Only ever from inside the test's
    // private namespace.
    bool ip(const std::vector<std::string>& words) const;
    // Runs many ip(8) commands, one a line, in one process.
    bool ipBatch(const std::string& commands) const;

private:
    void release();

    pid_t pid_ = -1;
};

// Runs a program with the arguments and waits for it; true when it exits with 0.
// `input` is written to its standard input.
bool runProgram(const std::vector<std::string>& words, const std::string& input = {});

} // namespace galvorn::testing
