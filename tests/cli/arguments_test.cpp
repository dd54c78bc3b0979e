#include "app/cli/cliarguments.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace galvorn::cli;

namespace {

ParsedArguments parse(const std::string& line)
{
    std::vector<std::string> owned;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        owned.push_back(word);
    const std::vector<std::string_view> words(owned.begin(), owned.end());
    return ParseArguments(words);
}

} // namespace

TEST(Arguments, EveryCommandReadsItsArgumentsAndOptions)
{
    const ParsedArguments batch =
        parse("batch-add pics --device 00:1a:2b:00:00:01 --device=192.0.2.5 --parallel 8 --user "
              "op --password-file pw.txt --wait 3 --json");
    ASSERT_TRUE(batch.ok()) << batch.error;
    const CliArguments& a = batch.arguments;
    EXPECT_EQ(a.command, Command::BatchAdd);
    EXPECT_EQ(a.pictureFolder, "pics");
    EXPECT_EQ(a.choice.devices, (std::vector<std::string>{"00:1a:2b:00:00:01", "192.0.2.5"}));
    EXPECT_TRUE(a.choice.onlyNamedDevices());
    EXPECT_EQ(a.parallel, 8u);
    EXPECT_EQ(a.user, "op");
    EXPECT_EQ(a.passwordFile, "pw.txt");
    EXPECT_EQ(a.waitSeconds, 3);
    EXPECT_TRUE(a.json);

    const ParsedArguments retry = parse("retry 2024.log pics --model IPC-1 --model IPC-2");
    ASSERT_TRUE(retry.ok()) << retry.error;
    EXPECT_EQ(retry.arguments.refusalLog, "2024.log");
    EXPECT_EQ(retry.arguments.pictureFolder, "pics");
    EXPECT_EQ(retry.arguments.choice.models, (std::vector<std::string>{"IPC-1", "IPC-2"}));
    EXPECT_FALSE(retry.arguments.choice.onlyNamedDevices());
    EXPECT_EQ(retry.arguments.user, "admin");
    EXPECT_EQ(retry.arguments.parallel, 1u);

    const ParsedArguments exported = parse("export-csv --all --out /tmp/x");
    ASSERT_TRUE(exported.ok());
    EXPECT_EQ(exported.arguments.outFolder, "/tmp/x");
    EXPECT_TRUE(exported.arguments.choice.all);

    const ParsedArguments list = parse("list --csv");
    ASSERT_TRUE(list.ok());
    EXPECT_TRUE(list.arguments.csv);
    EXPECT_FALSE(list.arguments.waitSeconds);

    EXPECT_EQ(parse("import --all -- -odd.dat").arguments.dataFile, "-odd.dat");
    EXPECT_EQ(parse("--version").arguments.command, Command::Version);
    EXPECT_EQ(parse("--help").arguments.command, Command::ProgramHelp);
    const ParsedArguments help = parse("export --help --bogus");
    EXPECT_TRUE(help.ok()) << "help wins over the rest of the line";
    EXPECT_TRUE(help.arguments.commandHelp);
}

// Each line is refused with a message that names what is wrong.
TEST(Arguments, BadCommandLinesAreRefusedWithOneMessage)
{
    const struct
    {
        std::string line;
        const char* message;
    } cases[] = {
        {"", "no command given"},
        {"frobnicate", "unknown command frobnicate"},
        {"list --bogus", "unknown option --bogus"},
        {"list --all", "--all does not apply to list"},
        {"check pics --device x", "--device does not apply to check"},
        {"export --all", "export needs --out DIR"},
        {"export --out d", "name the devices with --device, --model or --all"},
        {"export --out d --all --device x", "--all cannot be combined"},
        {"export --out d --all --out e", "--out is given twice"},
        {"import --all", "import takes 1 argument, not 0"},
        {"import a b --all", "import takes 1 argument, not 2"},
        {"retry log --all", "retry takes 2 arguments, not 1"},
        {"list --wait", "--wait needs a value"},
        {"list --wait 0", "--wait takes a number of seconds from 1 to 600"},
        {"list --wait 601", "--wait takes a number of seconds from 1 to 600"},
        {"list --wait 5s", "--wait takes a number of seconds"},
        {"batch-add p --all --parallel 33", "--parallel takes a number from 1 to 32"},
        {"batch-add p --all --parallel 0", "--parallel takes a number from 1 to 32"},
        {"list --json --csv", "--json and --csv exclude each other"},
        {"list --json=yes", "--json takes no value"},
        {"export --out d --all --user " + std::string(32, 'u'), "--user is longer"},
        {"export --out d --all --device=", "--device needs a value"},
    };
    for (const auto& each : cases) {
        const ParsedArguments parsed = parse(each.line);
        EXPECT_FALSE(parsed.ok()) << each.line;
        EXPECT_NE(parsed.error.find(each.message), std::string::npos)
            << each.line << ": " << parsed.error;
    }
}

TEST(Arguments, NoSpellingOfAPasswordOptionIsTaken)
{
    for (const char* line : {"export --out d --all --password secret",
                             "import f --all --password=s", "batch-add p --all --passwd s",
                             "list --pass s", "export --out d --all --library-password s",
                             "list --PWD s", "import f --all -p s", "check p --Password s"}) {
        const ParsedArguments parsed = parse(line);
        EXPECT_FALSE(parsed.ok()) << line;
        EXPECT_NE(parsed.error.find("never taken from the command line"), std::string::npos)
            << line << ": " << parsed.error;
    }
    EXPECT_TRUE(parse("import f --all --password-file p").ok());
}
