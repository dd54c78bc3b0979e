#pragma once

#include <span>
#include <string>
#include <string_view>

// The help of galvorn-cli: one set of texts that `--help` prints and the man page is
// built from, so that the two never disagree.
namespace galvorn::cli {

struct OptionHelp
{
    std::string_view option;   // "--out"
    std::string_view argument; // "DIR"; empty for a flag
    std::string_view text;
};

struct CommandHelp
{
    std::string_view name;
    // The command's arguments and options as the usage line shows them.
    std::string_view usage;
    std::string_view summary;
    // Paragraphs separated by an empty line.
    std::string_view description;
    std::span<const OptionHelp> options;
};

// A section of the general help: the devices, the credentials, the output, the exit
// status and the environment.
struct SectionHelp
{
    std::string_view title;
    std::string_view text;
};

inline constexpr std::string_view kProgramName = "galvorn-cli";

std::span<const CommandHelp> commandHelps();
std::span<const SectionHelp> sectionHelps();
// Null for a name that is no command.
const CommandHelp* findCommandHelp(std::string_view name);

// What `galvorn-cli --help` prints.
std::string programHelpText();
// What `galvorn-cli COMMAND --help` prints.
std::string commandHelpText(const CommandHelp& command);
// The manual page (section 1) in roff, for `version`.
std::string manPage(std::string_view version);

} // namespace galvorn::cli
