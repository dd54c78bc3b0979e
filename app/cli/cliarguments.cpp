#include "app/cli/cliarguments.h"

#include "facelib/devicejob.h"
#include "facelib/runstate.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

namespace galvorn::cli {

namespace {

// The options, as bits of the set a command takes.
enum Option : std::uint32_t
{
    kDevice = 1u << 0,
    kModel = 1u << 1,
    kAll = 1u << 2,
    kOut = 1u << 3,
    kUser = 1u << 4,
    kPasswordFile = 1u << 5,
    kWait = 1u << 6,
    kJson = 1u << 7,
    kCsv = 1u << 8,
    kParallel = 1u << 9,
};

constexpr std::uint32_t kChoice = kDevice | kModel | kAll;
constexpr std::uint32_t kLogin = kUser | kPasswordFile;

struct CommandSyntax
{
    std::string_view name;
    Command command;
    // The words that follow the command and are no options.
    std::size_t arguments;
    std::uint32_t options;
};

constexpr std::array<CommandSyntax, 7> kCommands{{
    {"list", Command::List, 0, kWait | kJson | kCsv},
    {"export", Command::Export, 0, kOut | kChoice | kLogin | kWait | kJson},
    {"export-csv", Command::ExportCsv, 0, kOut | kChoice | kLogin | kWait | kJson},
    {"import", Command::Import, 1, kChoice | kLogin | kWait | kJson},
    {"batch-add", Command::BatchAdd, 1, kChoice | kParallel | kLogin | kWait | kJson},
    {"check", Command::Check, 1, kJson},
    {"retry", Command::Retry, 2, kChoice | kParallel | kLogin | kWait | kJson},
}};

struct OptionSyntax
{
    std::string_view name;
    Option option;
    bool takesValue;
};

constexpr std::array<OptionSyntax, 10> kOptions{{
    {"--device", kDevice, true},
    {"--model", kModel, true},
    {"--all", kAll, false},
    {"--out", kOut, true},
    {"--user", kUser, true},
    {"--password-file", kPasswordFile, true},
    {"--wait", kWait, true},
    {"--json", kJson, false},
    {"--csv", kCsv, false},
    {"--parallel", kParallel, true},
}};

// The options that may be given more than once.
constexpr std::uint32_t kRepeatable = kDevice | kModel;

constexpr std::size_t kUserBytes = std::tuple_size_v<decltype(DeviceJob::userName)> - 1;

constexpr std::string_view kPasswordRefusal =
    "passwords are never taken from the command line, where anyone on this machine can read "
    "them; use GALVORN_PASSWORD and GALVORN_LIBRARY_PASSWORD, --password-file, or the prompt";

bool isHelp(std::string_view word)
{
    return word == "--help" || word == "-h";
}

// Any option that looks like it carries a password, whatever its spelling.
bool carriesPassword(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "--password-file")
        return false;
    return lower.find("pass") != std::string::npos || lower.find("pwd") != std::string::npos ||
           lower == "-p";
}

std::optional<int> boundedNumber(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

class Parser
{
public:
    Parser(const CommandSyntax& syntax, CliArguments& arguments) : syntax_(syntax), args_(arguments)
    {}

    // The words after the command; empty on success, else the message.
    std::string parse(std::span<const std::string_view> words)
    {
        std::vector<std::string_view> positional;
        bool optionsEnded = false;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string_view word = words[i];
            if (optionsEnded || !word.starts_with('-') || word == "-") {
                positional.push_back(word);
                continue;
            }
            if (word == "--") {
                optionsEnded = true;
                continue;
            }
            std::string_view name = word;
            std::optional<std::string_view> value;
            if (const auto equals = word.find('='); equals != std::string_view::npos) {
                name = word.substr(0, equals);
                value = word.substr(equals + 1);
            }
            if (carriesPassword(name))
                return std::string(kPasswordRefusal);
            const auto option =
                std::find_if(kOptions.begin(), kOptions.end(),
                             [name](const OptionSyntax& o) { return o.name == name; });
            if (option == kOptions.end())
                return "unknown option " + std::string(name);
            if ((syntax_.options & option->option) == 0)
                return std::string(name) + " does not apply to " + std::string(syntax_.name);
            if ((seen_ & option->option) != 0 && (kRepeatable & option->option) == 0)
                return std::string(name) + " is given twice";
            seen_ |= option->option;
            if (!option->takesValue) {
                if (value)
                    return std::string(name) + " takes no value";
                setFlag(option->option);
                continue;
            }
            if (!value) {
                if (i + 1 == words.size())
                    return std::string(name) + " needs a value";
                value = words[++i];
            }
            if (std::string error = setValue(option->option, name, *value); !error.empty())
                return error;
        }
        return finish(positional);
    }

private:
    void setFlag(Option option)
    {
        switch (option) {
        case kAll:
            args_.choice.all = true;
            return;
        case kJson:
            args_.json = true;
            return;
        case kCsv:
            args_.csv = true;
            return;
        default:
            return;
        }
    }

    std::string setValue(Option option, std::string_view name, std::string_view value)
    {
        if (value.empty())
            return std::string(name) + " needs a value";
        switch (option) {
        case kDevice:
            args_.choice.devices.emplace_back(value);
            return {};
        case kModel:
            args_.choice.models.emplace_back(value);
            return {};
        case kOut:
            args_.outFolder = value;
            return {};
        case kUser:
            if (value.size() > kUserBytes)
                return "--user is longer than a device takes (" + std::to_string(kUserBytes) +
                       " bytes)";
            args_.user = value;
            return {};
        case kPasswordFile:
            args_.passwordFile = value;
            return {};
        case kWait:
            args_.waitSeconds = boundedNumber(value, 1, kMaxWaitSeconds);
            if (!args_.waitSeconds)
                return "--wait takes a number of seconds from 1 to " +
                       std::to_string(kMaxWaitSeconds);
            return {};
        case kParallel: {
            const auto parallel = boundedNumber(value, 1, static_cast<int>(kMaxDevicesPerRun));
            if (!parallel)
                return "--parallel takes a number from 1 to " + std::to_string(kMaxDevicesPerRun);
            args_.parallel = static_cast<std::size_t>(*parallel);
            return {};
        }
        default:
            return {};
        }
    }

    std::string finish(const std::vector<std::string_view>& positional)
    {
        if (positional.size() != syntax_.arguments)
            return std::string(syntax_.name) + " takes " + std::to_string(syntax_.arguments) +
                   (syntax_.arguments == 1 ? " argument" : " arguments") + ", not " +
                   std::to_string(positional.size());
        assignPositional(positional);
        if (args_.json && args_.csv)
            return "--json and --csv exclude each other";
        if ((syntax_.options & kOut) != 0 && args_.outFolder.empty())
            return std::string(syntax_.name) + " needs --out DIR";
        if ((syntax_.options & kChoice) == 0)
            return {};
        const DeviceChoice& choice = args_.choice;
        if (!choice.all && choice.devices.empty() && choice.models.empty())
            return "name the devices with --device, --model or --all";
        if (choice.all && (!choice.devices.empty() || !choice.models.empty()))
            return "--all cannot be combined with --device or --model";
        return {};
    }

    void assignPositional(const std::vector<std::string_view>& positional)
    {
        switch (syntax_.command) {
        case Command::Import:
            args_.dataFile = positional[0];
            return;
        case Command::BatchAdd:
        case Command::Check:
            args_.pictureFolder = positional[0];
            return;
        case Command::Retry:
            args_.refusalLog = positional[0];
            args_.pictureFolder = positional[1];
            return;
        default:
            return;
        }
    }

    const CommandSyntax& syntax_;
    CliArguments& args_;
    std::uint32_t seen_ = 0;
};

} // namespace

ParsedArguments ParseArguments(std::span<const std::string_view> words)
{
    ParsedArguments parsed;
    if (words.empty()) {
        parsed.error = "no command given";
        return parsed;
    }
    if (words.size() == 1 && isHelp(words[0])) {
        parsed.arguments.command = Command::ProgramHelp;
        return parsed;
    }
    if (words.size() == 1 && words[0] == "--version") {
        parsed.arguments.command = Command::Version;
        return parsed;
    }
    const auto syntax = std::find_if(kCommands.begin(), kCommands.end(),
                                     [&](const CommandSyntax& c) { return c.name == words[0]; });
    if (syntax == kCommands.end()) {
        parsed.error = "unknown command " + std::string(words[0]);
        return parsed;
    }
    parsed.arguments.command = syntax->command;
    const std::span<const std::string_view> rest = words.subspan(1);
    if (std::any_of(rest.begin(), rest.end(), isHelp)) {
        parsed.arguments.commandHelp = true;
        return parsed;
    }
    parsed.error = Parser(*syntax, parsed.arguments).parse(rest);
    return parsed;
}

std::string_view CommandName(Command command)
{
    for (const CommandSyntax& syntax : kCommands)
        if (syntax.command == command)
            return syntax.name;
    return {};
}

} // namespace galvorn::cli
