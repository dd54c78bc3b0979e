#include "app/cli/clihelp.h"

#include <algorithm>
#include <array>
#include <vector>

namespace galvorn::cli {

namespace {

constexpr std::size_t kWidth = 80;
constexpr std::size_t kOptionIndent = 2;
constexpr std::size_t kOptionTextColumn = 26;

constexpr OptionHelp kListWait{"--wait", "SECONDS",
                               "Searches this long for devices, 1 to 600 seconds; two search "
                               "periods (10 seconds) when not given."};
constexpr OptionHelp kWait{"--wait", "SECONDS",
                           "Searches this long for devices, 1 to 600 seconds; two search periods "
                           "(10 seconds) when not given. When only --device names the devices, the "
                           "search ends as soon as every one of them is found."};
constexpr OptionHelp kJson{"--json", "",
                           "Writes JSON Lines to standard output, one event per line, instead of "
                           "the text for people."};
constexpr OptionHelp kDevice{"--device", "MAC|IP",
                             "A device by its MAC address (in any case) or by either of its IPv4 "
                             "addresses. Repeat it for more devices."};
constexpr OptionHelp kModel{"--model", "MODEL",
                            "Every device of this product model, as the list shows it. Repeat it "
                            "for more models."};
constexpr OptionHelp kAll{"--all", "", "Every device the search finds."};
constexpr OptionHelp kUser{"--user", "NAME", "The device user name; \"admin\" when not given."};
constexpr OptionHelp kPasswordFile{
    "--password-file", "FILE",
    "Reads the device password from the first line of FILE and the face-library password "
    "from its second line, instead of from the environment or a prompt."};
constexpr OptionHelp kOut{"--out", "DIR", "The folder the files are written to; it must exist."};
constexpr OptionHelp kParallel{"--parallel", "N",
                               "Serves N devices at once, 1 to 32; 1 when not given. The "
                               "prepared pictures are shared among them."};
constexpr OptionHelp kCsv{"--csv", "",
                          "Writes the list as a CSV table (RFC 4180), the same table as the "
                          "window's \"Save list…\"."};
constexpr OptionHelp kHelp{"--help", "", "Shows this help and exits."};

constexpr std::array kListOptions{kListWait, kJson, kCsv, kHelp};
constexpr std::array kExportOptions{kOut,          kDevice, kModel, kAll, kUser,
                                    kPasswordFile, kWait,   kJson,  kHelp};
constexpr std::array kImportOptions{kDevice,       kModel, kAll,  kUser,
                                    kPasswordFile, kWait,  kJson, kHelp};
constexpr std::array kBatchAddOptions{kDevice,       kModel, kAll,  kParallel, kUser,
                                      kPasswordFile, kWait,  kJson, kHelp};
constexpr std::array kCheckOptions{kJson, kHelp};

constexpr std::string_view kDevices = "(--device MAC|IP ... | --model MODEL ... | --all)";

const std::array<CommandHelp, 7> kCommands{{
    {"list", "list [--wait SECONDS] [--json | --csv]", "Lists the devices on the network.",
     "Searches the network and prints one line per device, with the columns the window's "
     "device list shows (its ColumnShow settings in Galvorn.ini). Only the devices the "
     "window lists are printed. With --json every device is one event with all of its "
     "fields.",
     kListOptions},
    {"export", "export --out DIR DEVICES [options]",
     "Exports the face library of each device to a data file.",
     "Writes one face-library data file per device into DIR, named after the device's MAC "
     "address and the local time. The devices are served one after another. Needs the "
     "device password and the face-library password.",
     kExportOptions},
    {"export-csv", "export-csv --out DIR DEVICES [options]",
     "Exports the face library of each device as a CSV table with pictures.",
     "Writes a person table per device and one picture per person into DIR; the folder can "
     "be batch-added to another device as it is. The devices are served at once. Needs the "
     "device password.",
     kExportOptions},
    {"import", "import FILE DEVICES [options]",
     "Imports a face-library data file into each device.",
     "Checks FILE as the window's Browse does, then sends it to every device at once. Needs "
     "the device password and the face-library password.",
     kImportOptions},
    {"batch-add", "batch-add DIR DEVICES [--parallel N] [options]",
     "Adds the persons of a picture folder to each device.",
     "Reads the person table of DIR (or makes one person of each picture when the folder "
     "has no table), checks it as the window's Start does, and adds every person to every "
     "device. Persons a device refuses are written to a log, whose path the summary shows; "
     "retry takes such a log. Needs the device password.",
     kBatchAddOptions},
    {"check", "check DIR [--json]", "Checks a batch-add folder without contacting a device.",
     "Reports every problem of the folder, not only the first: every short or malformed "
     "row with its line number, every missing, unreadable or undecodable picture, the "
     "pictures that will be re-encoded, rows that name the same picture, the person count "
     "against the limit of 100000, and the table's encoding. The exit status is 0 when a "
     "batch add of the folder would start and every picture can be sent.",
     kCheckOptions},
    {"retry", "retry LOG DIR DEVICES [--parallel N] [options]",
     "Adds again the persons a refusal log names.",
     "Reads LOG, a log that an earlier batch add of DIR wrote, and batch-adds only the "
     "persons of DIR whose pictures the log names. Needs the device password.",
     kBatchAddOptions},
}};

const std::array<SectionHelp, 5> kSections{{
    {"DEVICES",
     "Every command that works on devices searches the network first, as the window does, "
     "and then takes the devices that --device, --model or --all name. A --device that the "
     "search does not find counts as a failed device. A run takes at most 32 devices; more "
     "are served in waves of 32, one wave after another."},
    {"CREDENTIALS",
     "The device password comes from GALVORN_PASSWORD and the face-library password from "
     "GALVORN_LIBRARY_PASSWORD, or both from the file that --password-file names. Without "
     "either, a password that is needed is asked for without echo when standard input is a "
     "terminal; otherwise a missing device password is an error and a missing face-library "
     "password is empty. A password is never taken from the command line, where anyone on "
     "the machine can read it: such an option is refused."},
    {"OUTPUT",
     "Each device has one line, updated in place with a progress bar when standard output "
     "is a terminal; otherwise each change is a line of its own. A summary table with each "
     "device's result (and, for a batch add, its persons added and failed) ends the run. "
     "With --json every event is one JSON object on a line of its own: \"wave\", "
     "\"status\" (with the device's MAC, IP, status code, text, progress and, once final, "
     "its result), \"missing\", and \"summary\". Status texts are English. Messages about "
     "the command itself go to standard error."},
    {"EXIT STATUS",
     "0 when every device succeeded, 1 when any failed or the run was interrupted, 2 for a "
     "usage error or bad input (nothing is then sent to any device). check exits 0 when the "
     "folder would start and every picture can be sent, 1 otherwise."},
    {"ENVIRONMENT",
     "GALVORN_PASSWORD, GALVORN_LIBRARY_PASSWORD: the passwords, see CREDENTIALS. "
     "XDG_CONFIG_HOME: the folder of Galvorn.ini, whose column settings choose the columns "
     "that list shows."},
}};

// The words of text, laid out in lines of at most `width` characters after `indent`
// spaces; the first line starts at `firstColumn`, which may already be taken.
void wrap(std::string& out, std::string_view text, std::size_t indent, std::size_t firstColumn)
{
    std::size_t column = firstColumn;
    bool lineEmpty = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (!lineEmpty && column + 1 + word.size() > kWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    out += '\n';
}

std::string optionTitle(const OptionHelp& option)
{
    std::string title(option.option);
    if (!option.argument.empty())
        title += " " + std::string(option.argument);
    return title;
}

std::vector<std::string_view> paragraphs(std::string_view text)
{
    std::vector<std::string_view> all;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find("\n\n", at);
        all.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos)
            return all;
        at = end + 2;
    }
}

// roff text: backslashes and minus signs escaped, and no line that starts with a control
// character.
std::string roff(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

} // namespace

std::span<const CommandHelp> commandHelps()
{
    return kCommands;
}

std::span<const SectionHelp> sectionHelps()
{
    return kSections;
}

const CommandHelp* findCommandHelp(std::string_view name)
{
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [name](const CommandHelp& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

std::string programHelpText()
{
    std::string out = "Usage: " + std::string(kProgramName) + " COMMAND [ARGUMENTS] [OPTIONS]\n";
    out += "       " + std::string(kProgramName) + " COMMAND --help\n";
    out += "       " + std::string(kProgramName) + " --help | --version\n\n";
    out += "Face libraries of IP cameras from a shell, as the Galvorn window handles them.\n";
    out += "\nCommands:\n";
    for (const CommandHelp& command : kCommands) {
        std::string line(kOptionIndent, ' ');
        line += command.name;
        line.resize(std::max(line.size() + 1, kOptionTextColumn), ' ');
        out += line;
        wrap(out, command.summary, kOptionTextColumn, line.size());
    }
    out += "\nDEVICES stands for " + std::string(kDevices) + ".\n";
    for (const SectionHelp& section : kSections) {
        out += "\n" + std::string(section.title) + "\n";
        out.append(kOptionIndent, ' ');
        wrap(out, section.text, kOptionIndent, kOptionIndent);
    }
    return out;
}

std::string commandHelpText(const CommandHelp& command)
{
    std::string out =
        "Usage: " + std::string(kProgramName) + " " + std::string(command.usage) + "\n\n";
    for (const std::string_view paragraph : paragraphs(command.description)) {
        wrap(out, paragraph, 0, 0);
        out += '\n';
    }
    if (command.usage.find("DEVICES") != std::string_view::npos)
        out += "DEVICES stands for " + std::string(kDevices) + ".\n\n";
    out += "Options:\n";
    for (const OptionHelp& option : command.options) {
        std::string line(kOptionIndent, ' ');
        line += optionTitle(option);
        if (line.size() + 1 > kOptionTextColumn) {
            out += line + "\n";
            line.assign(kOptionTextColumn, ' ');
        } else {
            line.resize(kOptionTextColumn, ' ');
        }
        out += line;
        wrap(out, option.text, kOptionTextColumn, kOptionTextColumn);
    }
    return out;
}

std::string manPage(std::string_view version)
{
    std::string out = ".TH GALVORN\\-CLI 1 \"\" \"Galvorn " + roff(version) +
                      "\" \"User Commands\"\n.SH NAME\n" + roff(kProgramName) +
                      " \\- face libraries of IP cameras from a shell\n.SH SYNOPSIS\n";
    for (const CommandHelp& command : kCommands)
        out += ".B " + roff(kProgramName) + "\n" + roff(command.usage) + "\n.br\n";
    out += ".B " + roff(kProgramName) + "\n\\-\\-help | \\-\\-version\n";
    out += ".SH DESCRIPTION\nEvery operation of the Galvorn window from a shell. DEVICES "
           "stands for\n" +
           roff(kDevices) + ".\n.SH COMMANDS\n";
    for (const CommandHelp& command : kCommands) {
        out += ".SS \"" + roff(command.usage) + "\"\n";
        for (const std::string_view paragraph : paragraphs(command.description))
            out += roff(paragraph) + "\n.PP\n";
        for (const OptionHelp& option : command.options)
            out += ".TP\n.B " + roff(optionTitle(option)) + "\n" + roff(option.text) + "\n";
    }
    for (const SectionHelp& section : kSections)
        out += ".SH " + roff(section.title) + "\n" + roff(section.text) + "\n";
    return out;
}

} // namespace galvorn::cli
