#pragma once

#include "app/cli/texttable.h"
#include "facelib/transfertables.h"
#include "support/inttypes.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace galvorn::cli {

// The result text of a --device that the search did not find.
inline constexpr char kNotFoundText[] = "not found by the search";

// One device of a command: where its run stands and, once it is final, how it ended.
struct DeviceOutcome
{
    std::string mac;
    // The address the run connects at.
    std::string ip;
    bool finished = false;
    bool succeeded = false;
    // The last status code and its text (English).
    tuint32 status = 0;
    std::string text;
    // A batch add's persons; set once its final status came.
    std::optional<TransferTables::BatchAddCounts> counts;
    // A batch add's refusal log; empty when none was written.
    std::string logPath;
};

// One status as it reached the device.
struct StatusReport
{
    tuint32 status = 0;
    std::string text;
    // Percent done, for progress.
    std::optional<double> progress;
    bool final = false;
};

// What a command shows of a run, on standard output.
class RunReporter
{
public:
    virtual ~RunReporter() = default;
    // A --device that the search did not find.
    virtual void missing(const std::string& named) = 0;
    // The devices of wave `wave` (from 1) of `waves` are about to start.
    virtual void beginWave(std::size_t wave, std::size_t waves,
                           std::span<const DeviceOutcome> devices) = 0;
    // `device` is one of the current wave's, already updated by `report`.
    virtual void status(const DeviceOutcome& device, const StatusReport& report) = 0;
    virtual void endWave() = 0;
    // Every device of the command, the missing ones as failed, at the end.
    virtual void summary(std::span<const DeviceOutcome> devices, bool countsPersons) = 0;
};

// Lines for people: on a terminal each device keeps one line, redrawn in place with a
// progress bar; elsewhere every change is a line of its own.
std::unique_ptr<RunReporter> MakeTextReporter(std::ostream& out, bool terminal,
                                              const TerminalSize& size);
// JSON Lines: one event per line.
std::unique_ptr<RunReporter> MakeJsonReporter(std::ostream& out);

} // namespace galvorn::cli
