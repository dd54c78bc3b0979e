#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::cli {

enum class Command
{
    ProgramHelp,
    Version,
    List,
    Export,
    ExportCsv,
    Import,
    BatchAdd,
    Check,
    Retry,
};

// The devices a command names: devices by MAC or IP, models, or every device.
struct DeviceChoice
{
    std::vector<std::string> devices;
    std::vector<std::string> models;
    bool all = false;

    // Only --device names the devices, so the search may end once all are found.
    bool onlyNamedDevices() const { return !all && models.empty(); }
};

// A command line that passed every check: nothing in it is left to refuse later.
struct CliArguments
{
    Command command = Command::ProgramHelp;
    // `COMMAND --help`.
    bool commandHelp = false;
    DeviceChoice choice;
    // export and export-csv: --out.
    std::string outFolder;
    // import: FILE.
    std::string dataFile;
    // batch-add, check, retry: DIR.
    std::string pictureFolder;
    // retry: LOG.
    std::string refusalLog;
    std::string user = "admin";
    std::string passwordFile;
    // --wait; empty for the default.
    std::optional<int> waitSeconds;
    bool json = false;
    bool csv = false;
    std::size_t parallel = 1;
};

// The longest search --wait asks for.
inline constexpr int kMaxWaitSeconds = 600;

struct ParsedArguments
{
    // Empty when the command line is usable; otherwise the one message that says why not.
    std::string error;
    CliArguments arguments;

    bool ok() const { return error.empty(); }
};

// Reads the command line without the program name. Refuses unknown commands and options,
// options the command does not take, missing or extra arguments, values out of range,
// and every option that would carry a password.
ParsedArguments ParseArguments(std::span<const std::string_view> words);

// The command's name on the command line; empty for the program's help and version.
std::string_view CommandName(Command command);

} // namespace galvorn::cli
