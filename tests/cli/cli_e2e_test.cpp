// galvorn-cli against simulated cameras, in the test's private network namespace: the
// device list, export and import, CSV export and batch add, the folder check, retry,
// waves, JSON Lines, and the refusals that never reach a device.
#include "clirunner.h"
#include "testkit/devsimprocess.h"
#include "testkit/privatenetns.h"
#include "testkit/tempdir.h"
#include "tools/devsim/facelibrary.h"

#include "textlines.h"
#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using galvorn::testing::DevsimProcess;
using galvorn::testing::testCameraMac;
using galvorn::testing::testCameraSection;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "123456";

std::string bindOf(int camera)
{
    return "127.0." + std::to_string(1 + camera / 250) + "." + std::to_string(1 + camera % 250);
}

// A camera that a run reaches at its second address, its own.
std::string camera(int index, const std::string& extra = {})
{
    return testCameraSection(index, "ip2 = " + bindOf(index) +
                                        "\nmask2 = 255.0.0.0\nhttpPort = 80\n" + extra);
}

// Every line of the output as one JSON event; a line that does not parse fails the test.
std::vector<json> events(const CliResult& result)
{
    std::vector<json> all;
    for (const std::string& line : linesOf(result.out)) {
        json event = json::parse(line, nullptr, false);
        EXPECT_FALSE(event.is_discarded()) << "not JSON: " << line;
        all.push_back(std::move(event));
    }
    return all;
}

std::vector<json> eventsOf(const std::vector<json>& all, const std::string& kind)
{
    std::vector<json> some;
    for (const json& event : all)
        if (event.value("event", "") == kind)
            some.push_back(event);
    return some;
}

// The final status events, by MAC.
std::map<std::string, json> finals(const std::vector<json>& all)
{
    std::map<std::string, json> byMac;
    for (const json& event : eventsOf(all, "status"))
        if (event["final"] == true)
            byMac[event["mac"]] = event;
    return byMac;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string describe(const CliResult& result)
{
    return "exit " + std::to_string(result.exitCode) + "\nout:\n" + result.out + "\nerr:\n" +
           result.err;
}

class CliEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!galvorn::testing::inPrivateNetns())
            GTEST_SKIP() << "searches and talks to cameras only in a private network namespace";
        environment = {{"XDG_CONFIG_HOME", dir.file("config")},
                       {"GALVORN_PASSWORD", kPassword},
                       {"GALVORN_LIBRARY_PASSWORD", ""}};
    }

    void startCameras(const std::vector<std::string>& sections)
    {
        std::string config;
        for (const std::string& section : sections)
            config += section;
        std::string error;
        ASSERT_TRUE(devsim.start(config, error)) << error;
    }

    CliResult cli(std::vector<std::string> arguments) { return runCli(arguments, environment); }

    std::string libraryFolder(int index) const
    {
        return dir.file("library" + std::to_string(index));
    }
    std::string withLibrary(int index) const
    {
        return "facelib.folder = " + libraryFolder(index) + "\n";
    }

    // A camera's face library once the simulator has written it.
    std::vector<galvorn::devsim::Person> library(int index)
    {
        EXPECT_EQ(devsim.command("save " + testCameraMac(index)), "ok");
        const std::string blob = fileText(libraryFolder(index) + "/facelibrary.bin");
        const auto persons = galvorn::devsim::decodeLibrary(
            {reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size()});
        EXPECT_TRUE(persons) << "camera " << index;
        return persons.value_or(std::vector<galvorn::devsim::Person>{});
    }

    // A picture folder of `count` persons with small JPEG faces drawn here.
    std::string pictureFolder(const std::string& name, int count)
    {
        std::string table = "(01)Name,(02)Gender,(03)Birth,(06)List,(07)Card,(08)Phone,"
                            "(09)Remark,(12)Picture\r\n";
        for (int i = 0; i < count; ++i) {
            QImage face(40 + i, 50, QImage::Format_RGB32);
            face.fill(qRgb(40 * i % 256, 90, 200));
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            EXPECT_TRUE(face.save(&buffer, "JPG"));
            const std::string picture = "face" + std::to_string(i) + ".jpg";
            dir.write(name + "/" + picture, jpeg.toStdString());
            table += "Person" + std::to_string(i) + "," + std::to_string(i % 2) + ",1990/1/1,1,C" +
                     std::to_string(i) + ",P" + std::to_string(i) + ",remark " + std::to_string(i) +
                     "," + picture + "\r\n";
        }
        dir.write(name + "/persons.csv", table);
        return dir.file(name);
    }

    TempDir dir;
    DevsimProcess devsim;
    std::map<std::string, std::string> environment;
};

} // namespace

TEST_F(CliEndToEnd, ListFindsTheCamerasWithTheirFields)
{
    startCameras({camera(0, "devName = Gate\nproductModel = IPC-9\ndataPort = 9010\n"), camera(1),
                  camera(2, "productSeries = VRN_NVR\n")});
    const CliResult result = cli({"list", "--json", "--wait", "4"});
    ASSERT_EQ(result.exitCode, 0) << describe(result);
    const std::vector<json> devices = eventsOf(events(result), "device");
    ASSERT_EQ(devices.size(), 2u) << "the recorder is not listed, as in the window";
    const json& gate = devices[0];
    EXPECT_EQ(gate["mac"], testCameraMac(0));
    EXPECT_EQ(gate["ip"], bindOf(0));
    EXPECT_EQ(gate["ip2"], bindOf(0));
    EXPECT_EQ(gate["name"], "Gate");
    EXPECT_EQ(gate["model"], "IPC-9");
    EXPECT_EQ(gate["series"], "VRN_IPC");
    EXPECT_EQ(gate["dataPort"], 9010);
    EXPECT_EQ(gate["httpPort"], 80);
    EXPECT_EQ(gate["softwareVersion"], "5.1.0(1208)");
    EXPECT_EQ(devices[1]["name"], "Camera 1");

    // The table: the window's default columns, titles first.
    const CliResult table = cli({"list", "--csv", "--wait", "4"});
    ASSERT_EQ(table.exitCode, 0) << describe(table);
    const std::vector<std::string> lines = linesOf(table.out);
    ASSERT_EQ(lines.size(), 3u) << table.out;
    EXPECT_EQ(lines[0], "Device Name,Product Model,IP Address,Software Version,Software Build "
                        "Date,MAC Address,Kernel Version\r");
    EXPECT_EQ(lines[1], "Gate,IPC-9,127.0.1.1,5.1.0(1208),2023-06-01,00:1A:2B:00:00:00,4.9.37\r");
}

TEST_F(CliEndToEnd, ExportThenImportIntoTwoCamerasLeavesEqualLibraries)
{
    startCameras({camera(0, withLibrary(0) + "facelib.seedPersons = 12\n"),
                  camera(1, withLibrary(1)), camera(2, withLibrary(2))});
    const std::string out = dir.file("export");
    fs::create_directories(out);
    const CliResult exported = cli({"export", "--out", out, "--device", testCameraMac(0)});
    ASSERT_EQ(exported.exitCode, 0) << describe(exported);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(out))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".dat");

    const CliResult imported = cli({"import", files[0].string(), "--device", testCameraMac(1),
                                    "--device", bindOf(2), "--json"});
    ASSERT_EQ(imported.exitCode, 0) << describe(imported);
    const auto ended = finals(events(imported));
    ASSERT_EQ(ended.size(), 2u);
    for (const auto& [mac, event] : ended)
        EXPECT_EQ(event["result"], "succeeded") << mac;

    const auto original = library(0);
    ASSERT_EQ(original.size(), 12u);
    EXPECT_EQ(library(1), original);
    EXPECT_EQ(library(2), original);
}

TEST_F(CliEndToEnd, ACsvExportBatchAddedIntoAnEmptyCameraBringsItsPersons)
{
    startCameras({camera(0, withLibrary(0)), camera(1, withLibrary(1))});
    const std::string faces = pictureFolder("faces", 6);
    const CliResult added = cli({"batch-add", faces, "--device", testCameraMac(0)});
    ASSERT_EQ(added.exitCode, 0) << describe(added);
    const auto first = library(0);
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first[3].name, "Person3");
    EXPECT_EQ(first[3].cardNumber, "C3");

    const std::string out = dir.file("csv");
    fs::create_directories(out);
    const CliResult exported = cli({"export-csv", "--out", out, "--device", testCameraMac(0)});
    ASSERT_EQ(exported.exitCode, 0) << describe(exported);
    const CliResult again =
        cli({"batch-add", out, "--device", testCameraMac(1), "--parallel", "2", "--json"});
    ASSERT_EQ(again.exitCode, 0) << describe(again);
    const json last = finals(events(again)).at(testCameraMac(1));
    EXPECT_EQ(last["personsAdded"], 6);
    EXPECT_EQ(last["personsFailed"], 0);
    EXPECT_EQ(library(1), first) << "every field and every picture";
}

TEST_F(CliEndToEnd, CheckReportsEveryProblemOfAFolder)
{
    const std::string faces = pictureFolder("faces", 3);
    dir.write("faces/broken.jpg", "not a picture");
    std::ofstream(faces + "/persons.csv", std::ios::app)
        << "Short,0\r\nAnna,female,,1,C,P,R,face0.jpg\r\nBen,0,,1,C,P,R,gone.jpg\r\n"
           "Cid,0,,1,C,P,R,broken.jpg\r\n";
    const CliResult result = cli({"check", faces});
    EXPECT_EQ(result.exitCode, 1) << describe(result);
    for (const char* expected :
         {"Person table persons.csv in UTF-8.", "6 persons, at most 100000.",
          "line 5: the row is too short for the columns the header names",
          "line 6: gender \"female\" is neither 0 nor 1; it is sent as male",
          "line 7: picture gone.jpg is missing",
          "line 8: picture broken.jpg is no picture the decoder knows",
          "line 2: lines 2, 6 name the same picture face0.jpg",
          "A batch add would not start: Line 5 of the person table is incomplete."})
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;

    const std::vector<json> found = events(cli({"check", faces, "--json"}));
    EXPECT_EQ(eventsOf(found, "finding").size(), 5u);
    ASSERT_EQ(eventsOf(found, "summary").size(), 1u);
    EXPECT_EQ(eventsOf(found, "summary")[0]["starts"], false);

    const CliResult clean = cli({"check", pictureFolder("clean", 2)});
    EXPECT_EQ(clean.exitCode, 0) << describe(clean);
}

// A batch add whose camera refuses two persons writes their log; retry adds exactly
// them, and nobody else.
TEST_F(CliEndToEnd, RetrySendsExactlyThePersonsOfTheLog)
{
    const std::string recording = dir.file("adds.txt");
    startCameras({camera(0, withLibrary(0) + "facelib.refuseAddAt = 3:-5,6:-5\n"),
                  camera(1, withLibrary(1) + "device.record = " + recording + "\n")});
    const std::string faces = pictureFolder("faces", 8);
    const CliResult refused = cli({"batch-add", faces, "--device", testCameraMac(0), "--json"});
    EXPECT_EQ(refused.exitCode, 1) << describe(refused);
    const json last = finals(events(refused)).at(testCameraMac(0));
    EXPECT_EQ(last["personsAdded"], 6);
    EXPECT_EQ(last["personsFailed"], 2);
    const std::string log = last.value("log", "");
    ASSERT_FALSE(log.empty()) << describe(refused);

    const CliResult retried = cli({"retry", log, faces, "--device", testCameraMac(1)});
    fs::remove(log);
    ASSERT_EQ(retried.exitCode, 0) << describe(retried);
    std::vector<std::string> sent;
    for (const std::string& line : linesOf(fileText(recording))) {
        if (line.find("name=CMD_FACE_IMAGE_ADD") == std::string::npos)
            continue;
        const auto at = line.find("personName=") + 11;
        sent.push_back(line.substr(at, line.find('\t', at) - at));
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"Person2", "Person5"}));
}

TEST_F(CliEndToEnd, FortyDevicesRunInTwoWaves)
{
    std::vector<std::string> sections;
    for (int i = 0; i < 40; ++i)
        sections.push_back(camera(i));
    startCameras(sections);
    const std::string out = dir.file("csv");
    fs::create_directories(out);
    const CliResult result = cli({"export-csv", "--all", "--out", out, "--json", "--wait", "6"});
    ASSERT_EQ(result.exitCode, 0) << describe(result);
    const std::vector<json> all = events(result);
    const std::vector<json> waves = eventsOf(all, "wave");
    ASSERT_EQ(waves.size(), 2u);
    EXPECT_EQ(waves[0]["devices"].size(), 32u);
    EXPECT_EQ(waves[1]["devices"].size(), 8u);
    EXPECT_EQ(waves[1]["waves"], 2);
    // Every device of the first wave ends before the second wave starts.
    std::set<std::string> firstWave(waves[0]["devices"].begin(), waves[0]["devices"].end());
    std::size_t endedBeforeSecond = 0;
    for (const json& event : all) {
        if (event == waves[1])
            break;
        endedBeforeSecond += event.value("final", false) && firstWave.contains(event["mac"]);
    }
    EXPECT_EQ(endedBeforeSecond, 32u);
    const auto ended = finals(all);
    ASSERT_EQ(ended.size(), 40u);
    for (const auto& [mac, event] : ended)
        EXPECT_EQ(event["result"], "succeeded") << mac;
    const std::vector<json> summary = eventsOf(all, "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0]["succeeded"], 40);
}

TEST_F(CliEndToEnd, AFailedOrMissingDeviceExitsWithOne)
{
    startCameras({camera(0)});
    environment["GALVORN_PASSWORD"] = "wrong";
    const std::string out = dir.file("csv");
    fs::create_directories(out);
    const CliResult result = cli({"export-csv", "--out", out, "--device", testCameraMac(0),
                                  "--device", "00:1A:2B:00:0F:FF", "--wait", "3", "--json"});
    EXPECT_EQ(result.exitCode, 1) << describe(result);
    const std::vector<json> all = events(result);
    ASSERT_EQ(eventsOf(all, "missing").size(), 1u);
    EXPECT_EQ(eventsOf(all, "missing")[0]["device"], "00:1A:2B:00:0F:FF");
    const json wrong = finals(all).at(testCameraMac(0));
    EXPECT_EQ(wrong["status"], 7);
    EXPECT_EQ(wrong["text"], "Wrong user name or password");
    EXPECT_EQ(wrong["ip"], bindOf(0));
    EXPECT_EQ(eventsOf(all, "summary")[0]["failed"], 2);
}

// Neither a password on the command line nor any other bad argument or input reaches a
// device: nothing connects to the camera, and no search waits out its time.
TEST_F(CliEndToEnd, UsageErrorsAndBadInputExitTwoWithoutContactingAnyDevice)
{
    const std::string recording = dir.file("requests.txt");
    startCameras({camera(0, "device.record = " + recording + "\n")});
    const std::string out = dir.file("out");
    fs::create_directories(out);
    dir.write("bad.dat", std::string(100, 'x'));
    dir.write("faulty/persons.csv", "(01)Name,(12)Picture\r\nAnna\r\n");
    dir.write("nobody.log", "gone.jpg\t\tRefused\r\n");
    const std::string faces = pictureFolder("faces", 2);
    const std::vector<std::vector<std::string>> lines{
        {"export", "--out", out, "--all", "--password", kPassword},
        {"import", dir.file("bad.dat"), "--all", "--password=123456"},
        {"export", "--out", out, "--all", "--bogus"},
        {"batch-add", faces, "--all", "--parallel", "33"},
        {"export", "--all"},
        {"export", "--out", dir.file("nowhere"), "--all"},
        {"import", dir.file("bad.dat"), "--all"},
        {"batch-add", dir.file("faulty"), "--all"},
        {"retry", dir.file("nobody.log"), faces, "--all"},
        {"export-csv", "--out", out, "--all", "--password-file", dir.file("missing")},
    };
    for (std::vector<std::string> line : lines) {
        line.insert(line.end(), {"--wait", "5"});
        const CliResult result = cli(line);
        SCOPED_TRACE(line[0] + " " + line[1] + " " + line.back());
        EXPECT_EQ(result.exitCode, 2) << describe(result);
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_EQ(result.err.rfind("galvorn-cli: ", 0), 0u) << result.err;
        EXPECT_LT(result.took, 4s) << "no search ran";
    }
    EXPECT_NE(runCli({"list", "--password", "x"}).err.find("never taken from the command line"),
              std::string::npos);
    EXPECT_TRUE(fileText(recording).empty()) << "no request reached the camera";
}
