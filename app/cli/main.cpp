// galvorn-cli: the face-library operations of the window from a shell.
#include "app/cli/cliarguments.h"
#include "app/cli/clihelp.h"
#include "app/cli/commands.h"
#include "config/languagetable.h"
#include "config/localsettings.h"
#include "platform/paths.h"

#include <QLoggingCategory>

#include <iostream>
#include <vector>

namespace {

using namespace galvorn::cli;

// Lives as long as the process: the signal thread may still use it while the program
// ends.
EventChannel& channel()
{
    static EventChannel* const instance = new EventChannel;
    return *instance;
}

int helpOf(const CliArguments& arguments)
{
    if (arguments.command == Command::Version) {
        std::cout << kProgramName << ' ' << GALVORN_VERSION << '\n';
        return kExitSucceeded;
    }
    if (arguments.commandHelp)
        std::cout << commandHelpText(*findCommandHelp(CommandName(arguments.command)));
    else
        std::cout << programHelpText();
    return kExitSucceeded;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> words(argv + 1, argv + argc);
    const ParsedArguments parsed = ParseArguments(words);
    if (!parsed.ok()) {
        complain(parsed.error);
        std::cerr << "Try '" << kProgramName << " --help'.\n";
        return kExitUsage;
    }
    const CliArguments& arguments = parsed.arguments;
    if (arguments.commandHelp || arguments.command == Command::ProgramHelp ||
        arguments.command == Command::Version)
        return helpOf(arguments);
    // A picture the decoder does not know is reported once, by the check or the run.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    // Status texts are English whatever the window's language.
    galvorn::loadLanguage(galvorn::platform::dataDir(), galvorn::kLanguageEnglishUs, "en_US");
    switch (arguments.command) {
    case Command::List:
        InterruptOnSignals(channel());
        return ListCommand(arguments, channel());
    case Command::Check:
        return CheckCommand(arguments);
    default:
        return OperationCommand(arguments, channel());
    }
}
