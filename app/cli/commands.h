#pragma once

#include "app/cli/cliarguments.h"
#include "app/cli/eventchannel.h"
#include "discovery/devicesearch.h"

#include <iosfwd>

namespace galvorn::cli {

// The exit statuses of galvorn-cli.
inline constexpr int kExitSucceeded = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// How long a search runs when --wait does not say: two of its periods.
inline constexpr int kDefaultSearchSeconds = 2 * kSearchPeriodSeconds;

// Writes "galvorn-cli: <message>" to standard error.
void complain(std::string_view message);

// The commands. Each writes its results to standard output and returns the exit status.
int ListCommand(const CliArguments& arguments, EventChannel& channel);
int CheckCommand(const CliArguments& arguments);
// export, export-csv, import, batch-add and retry.
int OperationCommand(const CliArguments& arguments, EventChannel& channel);

// Until the program ends, SIGINT and SIGTERM interrupt the channel instead of ending the
// program; a second one ends it at once. Call it before any other thread is started.
void InterruptOnSignals(EventChannel& channel);

} // namespace galvorn::cli
