#include "app/cli/runreporter.h"
#include "app/cli/texttable.h"

#include "textlines.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace galvorn::cli;

namespace {

DeviceOutcome device(const std::string& mac, const std::string& ip)
{
    DeviceOutcome outcome;
    outcome.mac = mac;
    outcome.ip = ip;
    return outcome;
}

StatusReport progress(double percent)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.2f%%", percent);
    return {13, text, percent, false};
}

// A batch add of two devices: one succeeds, one ends with a refusal log.
void playRun(RunReporter& reporter)
{
    std::vector<DeviceOutcome> devices{device("00:1A:2B:00:00:01", "192.0.2.1"),
                                       device("00:1A:2B:00:00:02", "192.0.2.2")};
    reporter.missing("00:1A:2B:00:00:09");
    reporter.beginWave(1, 1, devices);
    reporter.status(devices[0], {15, "Connecting...", {}, false});
    for (const double percent : {5.0, 12.5, 15.0, 25.0, 100.0})
        reporter.status(devices[0], progress(percent));
    devices[0].finished = devices[0].succeeded = true;
    devices[0].text = "Succeeded";
    devices[0].counts = galvorn::TransferTables::BatchAddCounts{12, 0};
    reporter.status(devices[0], {10, "Succeeded", {}, true});
    devices[1].finished = true;
    devices[1].text = "Import failed";
    devices[1].counts = galvorn::TransferTables::BatchAddCounts{10, 2};
    devices[1].logPath = "/log/\xFF.log";
    reporter.status(devices[1], {14, "Import failed", {}, true});
    reporter.endWave();
    devices.push_back(device("00:1A:2B:00:00:09", ""));
    devices.back().finished = true;
    devices.back().text = kNotFoundText;
    reporter.summary(devices, true);
}

} // namespace

TEST(JsonReporter, EveryLineIsOneEventOfJson)
{
    std::ostringstream out;
    playRun(*MakeJsonReporter(out));
    std::vector<nlohmann::json> events;
    for (const std::string& line : linesOf(out.str()))
        events.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(events[0]["event"], "missing");
    EXPECT_EQ(events[0]["device"], "00:1A:2B:00:00:09");
    EXPECT_EQ(events[1]["event"], "wave");
    EXPECT_EQ(events[1]["devices"].size(), 2u);
    EXPECT_EQ(events[2]["status"], 15);
    EXPECT_EQ(events[2]["ip"], "192.0.2.1");
    EXPECT_FALSE(events[2].contains("progress"));
    EXPECT_EQ(events[4]["progress"], 12.5);
    EXPECT_EQ(events[4]["text"], "12.50%");
    const nlohmann::json& success = events[8];
    EXPECT_EQ(success["final"], true);
    EXPECT_EQ(success["result"], "succeeded");
    EXPECT_EQ(success["personsAdded"], 12);
    const nlohmann::json& failure = events[9];
    EXPECT_EQ(failure["result"], "failed");
    EXPECT_EQ(failure["personsFailed"], 2);
    EXPECT_EQ(failure["log"], "/log/\xEF\xBF\xBD.log") << "a path that is no UTF-8 is replaced";
    EXPECT_EQ(events[10]["event"], "summary");
    EXPECT_EQ(events[10]["devices"], 3);
    EXPECT_EQ(events[10]["succeeded"], 1);
    EXPECT_EQ(events[10]["failed"], 2);
}

TEST(TextReporter, WithoutATerminalProgressComesInTenPercentSteps)
{
    std::ostringstream out;
    playRun(*MakeTextReporter(out, false, {}));
    // The run's lines, before the empty line that opens the summary.
    std::vector<std::string> first;
    for (const std::string& line : linesOf(out.str())) {
        if (line.empty())
            break;
        if (line.starts_with("00:1A:2B:00:00:01  192.0.2.1"))
            first.push_back(line.substr(36));
    }
    EXPECT_EQ(first, (std::vector<std::string>{"Connecting...", "[#-------------------] 5.00%",
                                               "[###-----------------] 12.50%",
                                               "[#####---------------] 25.00%",
                                               "[####################] 100.00%", "Succeeded"}));
    const std::string text = out.str();
    EXPECT_NE(text.find("Device             IP         Result                   Added  Failed"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("00:1A:2B:00:00:02  192.0.2.2  Import failed"), std::string::npos);
    EXPECT_NE(text.find("3 devices: 1 succeeded, 2 failed"), std::string::npos);
    EXPECT_NE(text.find("Persons not added by 00:1A:2B:00:00:02: /log/"), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << "no terminal, no escapes";
}

TEST(TextReporter, OnATerminalEachDeviceKeepsItsLine)
{
    std::ostringstream out;
    const std::unique_ptr<RunReporter> reporter = MakeTextReporter(out, true, {24, 60});
    std::vector<DeviceOutcome> devices{device("00:1A:2B:00:00:01", "192.0.2.1"),
                                       device("00:1A:2B:00:00:02", "192.0.2.2")};
    reporter->beginWave(1, 1, devices);
    ASSERT_EQ(linesOf(out.str()).size(), 2u) << "a line per device";
    out.str("");
    reporter->status(devices[0], {15, "Connecting...", {}, false});
    EXPECT_EQ(out.str(),
              "\x1b[2A\r\x1b[2K00:1A:2B:00:00:01  192.0.2.1        Connecting...\x1b[2B\r");
    out.str("");
    reporter->status(devices[1], {15, std::string(100, 'x'), {}, false});
    EXPECT_EQ(out.str().find('\n'), std::string::npos);
    EXPECT_NE(out.str().find("\x1b[1A"), std::string::npos);
    EXPECT_NE(out.str().find(std::string(59 - 36, 'x') + "\x1b[1B"), std::string::npos)
        << "cut to the terminal's width";

    // A wave taller than the terminal is written line by line instead.
    out.str("");
    const std::unique_ptr<RunReporter> small = MakeTextReporter(out, true, {2, 60});
    small->beginWave(1, 1, devices);
    small->status(devices[0], {15, "Connecting...", {}, false});
    EXPECT_EQ(out.str(), "00:1A:2B:00:00:01  192.0.2.1        Connecting...\n");
}

TEST(TextTable, ColumnsAreAsWideAsTheirWidestCharacters)
{
    EXPECT_EQ(displayWidth("Kamera Süd"), 10u);
    EXPECT_EQ(padded("Süd", 5), "Süd  ");
    EXPECT_EQ(padded("long", 2), "long");
    EXPECT_EQ(truncatedToColumns("Südtor", 3), "Süd");
    EXPECT_EQ(alignedTable({{"Name", "IP"}, {"Süd", "192.0.2.1"}, {"Nordtor", ""}}),
              "Name     IP\nSüd      192.0.2.1\nNordtor  \n");
}
