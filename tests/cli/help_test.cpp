#include "app/cli/cliarguments.h"
#include "app/cli/clihelp.h"
#include "app/cli/texttable.h"

#include "textlines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

using namespace galvorn::cli;

namespace {

// The words that make a command line usable apart from the option under test.
std::vector<std::string> baseLine(std::string_view command)
{
    const std::map<std::string_view, std::vector<std::string>> bases{
        {"list", {"list"}},
        {"export", {"export", "--out", "d"}},
        {"export-csv", {"export-csv", "--out", "d"}},
        {"import", {"import", "f"}},
        {"batch-add", {"batch-add", "p"}},
        {"check", {"check", "p"}},
        {"retry", {"retry", "l", "p"}},
    };
    return bases.at(command);
}

std::string parseError(std::vector<std::string> line)
{
    const std::vector<std::string_view> words(line.begin(), line.end());
    return ParseArguments(words).error;
}

} // namespace

// The options each command's help lists are exactly those the command takes.
TEST(Help, ListsExactlyTheOptionsEachCommandTakes)
{
    std::set<std::string> everyOption;
    for (const CommandHelp& command : commandHelps())
        for (const OptionHelp& option : command.options)
            everyOption.emplace(option.option);
    everyOption.erase("--help");
    ASSERT_EQ(everyOption.size(), 10u);
    for (const CommandHelp& command : commandHelps()) {
        std::set<std::string> listed;
        for (const OptionHelp& option : command.options)
            listed.emplace(option.option);
        for (const std::string& option : everyOption) {
            std::vector<std::string> line = baseLine(command.name);
            line.push_back(option);
            const bool takesValue = option != "--all" && option != "--json" && option != "--csv";
            if (takesValue)
                line.push_back(option == "--wait" || option == "--parallel" ? "2" : "x");
            const bool refused = parseError(line).find("does not apply") != std::string::npos;
            EXPECT_EQ(refused, !listed.contains(option)) << command.name << " " << option;
        }
    }
}

TEST(Help, EveryCommandHasItsHelpWithinEightyColumns)
{
    for (const CommandHelp& command : commandHelps()) {
        const std::string text = commandHelpText(command);
        EXPECT_NE(text.find(command.usage), std::string::npos) << command.name;
        for (const OptionHelp& option : command.options)
            EXPECT_NE(text.find(std::string(option.option)), std::string::npos) << option.option;
        for (const std::string& line : linesOf(text))
            EXPECT_LE(displayWidth(line), 80u) << command.name << ": " << line;
        EXPECT_EQ(findCommandHelp(command.name), &command);
        EXPECT_EQ(CommandName(ParseArguments(std::vector<std::string_view>{command.name, "--help"})
                                  .arguments.command),
                  command.name);
    }
    for (const std::string& line : linesOf(programHelpText()))
        EXPECT_LE(displayWidth(line), 80u) << line;
    EXPECT_EQ(findCommandHelp("nothing"), nullptr);
}

// The manual page says what --help says, in roff that no line breaks.
TEST(Help, TheManualPageIsMadeOfTheSameTexts)
{
    const std::string page = manPage("9.8.7");
    const auto roff = [](std::string_view text) {
        std::string out;
        for (const char c : text)
            out += c == '-' ? std::string("\\-") : std::string(1, c);
        return out;
    };
    EXPECT_EQ(page.rfind(".TH GALVORN\\-CLI 1 \"\" \"Galvorn 9.8.7\"", 0), 0u);
    for (const CommandHelp& command : commandHelps()) {
        EXPECT_NE(page.find(".SS \"" + roff(command.usage) + "\""), std::string::npos);
        for (const OptionHelp& option : command.options)
            EXPECT_NE(page.find(roff(option.text)), std::string::npos) << option.option;
    }
    for (const SectionHelp& section : sectionHelps())
        EXPECT_NE(page.find(".SH " + roff(section.title) + "\n" + roff(section.text)),
                  std::string::npos);
    const std::set<std::string> macros{".TH", ".SH", ".SS", ".B", ".TP", ".PP", ".br"};
    for (const std::string& line : linesOf(page)) {
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
            EXPECT_TRUE(macros.contains(line.substr(0, line.find(' ')))) << line;
        }
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '-') {
                EXPECT_TRUE(i > 0 && line[i - 1] == '\\') << "an unescaped minus: " << line;
            }
        }
    }
}

TEST(Help, TheBuiltManualPageIsTheCurrentOne)
{
    std::ifstream in(std::string(GALVORN_BIN_DIR) + "/../man/man1/galvorn-cli.1");
    ASSERT_TRUE(in) << "the build writes the manual page";
    const std::string built{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(built, manPage(GALVORN_VERSION));
}
