#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// Runs galvorn-cli as a child process, with the test's environment plus `environment`,
// standard input from /dev/null, and collects what it writes and how it exits.
struct CliResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

CliResult runCli(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {},
                 std::chrono::seconds limit = std::chrono::seconds(120));
