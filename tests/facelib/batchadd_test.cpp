#include "cameras.h"
#include "facelib/batchadd.h"
#include "facelib/jobbuilder.h"
#include "facelib/persontable.h"
#include "facelib/resultcodes.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "languagefixture.h"
#include "recordingsink.h"
#include "testcodec.h"
#include "testkit/tempdir.h"
#include "tests/common/loopback.h"
#include "tools/devsim/facelibrary.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace galvorn;
using namespace std::chrono_literals;
using devsim::DeviceFaceSettings;
using devsim::FaceLibrarySettings;

// Batch adds through the runner into simulated cameras, over loopback inside the test
// runner's private network namespace. Pictures go through a codec that needs no image
// library, so the suite also runs under ThreadSanitizer.
namespace {

namespace fs = std::filesystem;

std::string cameraKey(std::size_t camera)
{
    return "00:1A:2B:4D:00:0" + std::to_string(camera);
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class BatchAddTest : public WithLanguage
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        WithLanguage::SetUp();
        limits_.addReplyWait = 5s;
    }

    std::string pictures() const { return dir_.file("pictures"); }
    std::string logFolder() const { return dir_.file("log"); }
    std::string libraryFolder(std::size_t camera) const
    {
        return dir_.file("camera" + std::to_string(camera));
    }

    // A person table of `count` persons named <prefix><i>, each with a small JPEG.
    void writeFolder(std::size_t count, const std::string& prefix = "Person")
    {
        std::string table = "(01)Name,(02)Gender,(03)Birthday,(06)List,(07)Card,(08)Phone,"
                            "(09)Remark,(12)Picture\r\n";
        for (std::size_t i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            table += prefix + n + "," + (i % 2 ? "1" : "0") + ",1990/1/2,2,C" + n + ",P" + n +
                     ",\"remark, " + n + "\"," + pictureName(i) + "\r\n";
            dir_.write("pictures/" + pictureName(i),
                       TestCodec::jpeg(static_cast<std::uint8_t>(i), 9, 500 + i));
        }
        dir_.write("pictures/persons.csv", table);
    }
    static std::string pictureName(std::size_t i) { return "face" + std::to_string(i) + ".jpg"; }

    // The same with every other picture in a format that has to be re-encoded.
    void writeFolderToReencode(std::size_t count)
    {
        writeFolder(count);
        for (std::size_t i = 0; i < count; i += 2)
            dir_.write("pictures/" + pictureName(i),
                       TestCodec::other(static_cast<std::uint8_t>(i), 9, 300));
    }

    FaceLibrarySettings library(std::size_t camera, devsim::FaceAddRules adds = {}) const
    {
        FaceLibrarySettings settings;
        settings.folder = libraryFolder(camera);
        settings.adds = std::move(adds);
        return settings;
    }

    // Runs a batch add of the picture folder into the cameras, to its end.
    void run(const Cameras& cameras)
    {
        const PersonListLoad load = LoadPersonList(pictures());
        ASSERT_EQ(load.result, PersonListLoad::Result::Ok);
        persons_ = load.persons;
        BatchAddSource source;
        source.persons = persons_;
        source.codec = &codec_;
        source.logFolders = {logFolder(), {}};
        source.devicesAtOnce = atOnce_;
        start(cameras, std::move(source));
        ASSERT_TRUE(state_.waitForWorkersFor(120s)) << "the batch add did not end";
    }

    // A batch add into three cameras, to its end; the third takes every person.
    void runThree(devsim::FaceAddRules first, devsim::FaceAddRules second)
    {
        Cameras cameras({DeviceFaceSettings{}, DeviceFaceSettings{}, DeviceFaceSettings{}},
                        {library(0, std::move(first)), library(1, std::move(second)), library(2)});
        run(cameras);
    }

    void start(const Cameras& cameras, BatchAddSource source)
    {
        std::vector<DeviceJob> jobs;
        for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
            DeviceRow row{"127.0.0.1", "", cameraKey(camera), "V3.3.1", cameras.port(camera), 80};
            jobs.push_back(BuildDeviceJob(row, {"admin", "123456", pictures(), ""},
                                          static_cast<tuint32>(camera), htonl(INADDR_LOOPBACK)));
        }
        state_.setOperation(OperationType::BatchAdd);
        state_.setLimits(limits_);
        state_.setBatchAddSource(std::move(source));
        state_.setJobs(std::move(jobs));
        ASSERT_EQ(StartWorkers(state_), StartResult::kStarted);
    }

    // The camera's library as persisted; read once the cameras are gone. A camera that
    // never stored a person has written nothing.
    std::vector<devsim::Person> stored(std::size_t camera) const
    {
        if (!fs::exists(libraryFolder(camera) + "/facelibrary.bin"))
            return {};
        const std::string blob = fileText(libraryFolder(camera) + "/facelibrary.bin");
        const auto persons = devsim::decodeLibrary(
            {reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size()});
        EXPECT_TRUE(persons) << "camera " << camera;
        return persons.value_or(std::vector<devsim::Person>{});
    }

    // The device's final record: its status and, for status 14, the summary box.
    struct Outcome
    {
        tuint32 status = 0;
        std::optional<BatchSummary> summary;
    };
    Outcome outcome(std::size_t camera) const
    {
        Outcome result;
        for (const CallbackInfo& info : sink_.records()) {
            if (fieldText(info.mac) != cameraKey(camera))
                continue;
            result.status = info.status;
            if (info.status == code(DeviceStatus::ImportFail))
                result.summary = decodeBatchSummary(info.data);
        }
        return result;
    }

    std::string summary(std::size_t succeeded, std::size_t failed) const
    {
        return languageText("IDCS_SUCCESS") + ":" + std::to_string(succeeded) + " " +
               languageText("IDCS_FAIL_NUM") + ":" + std::to_string(failed);
    }

    static std::string line(std::size_t person, tint32 code)
    {
        return pictureName(person) + "\t\t" + resultCodeText(code);
    }

    static std::string lines(std::initializer_list<std::string> each)
    {
        std::string text;
        for (const std::string& one : each)
            text += (text.empty() ? "" : "\r\n") + one;
        return text;
    }

    // The index of the device's first record with this status; -1 when none.
    long firstRecord(std::size_t camera, DeviceStatus status) const
    {
        const auto records = sink_.records();
        for (std::size_t i = 0; i < records.size(); ++i)
            if (fieldText(records[i].mac) == cameraKey(camera) && records[i].status == code(status))
                return static_cast<long>(i);
        return -1;
    }

    TempDir dir_;
    TestCodec codec_;
    RunLimits limits_;
    std::size_t atOnce_ = 1;
    std::shared_ptr<const std::vector<PersonInfo>> persons_;
    RecordingSink sink_;
    RunState state_{&sink_};
};

} // namespace

TEST_F(BatchAddTest, EveryPersonArrivesWithTheFieldsOfTheTable)
{
    writeFolder(12);
    {
        Cameras cameras({DeviceFaceSettings{}}, {library(0)});
        run(cameras);
    }
    EXPECT_EQ(outcome(0).status, code(DeviceStatus::Success));
    const std::vector<devsim::Person> persons = stored(0);
    ASSERT_EQ(persons.size(), 12u);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const int age = local.tm_year + 1900 - 1990;
    for (std::size_t i = 0; i < persons.size(); ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(persons[i].name, "Person" + n);
        EXPECT_EQ(persons[i].gender, i % 2 ? 0u : 1u) << "column 02 says 1 for female";
        EXPECT_EQ(persons[i].age, age);
        EXPECT_EQ(persons[i].listType, 2);
        EXPECT_EQ(persons[i].cardNumber, "C" + n);
        EXPECT_EQ(persons[i].phone, "P" + n);
        EXPECT_EQ(persons[i].remark, "remark, " + n);
        EXPECT_EQ(persons[i].picture.size(), 500 + i);
    }
    // Progress ends at every person, before the final status.
    const auto records = sink_.records();
    ASSERT_GE(records.size(), 2u);
    const auto progress = decodeProgress(records[records.size() - 2].data);
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->text, "100.00%");
    EXPECT_FALSE(fs::exists(logFolder())) << "no refusal, no log";
}

TEST_F(BatchAddTest, RefusalsAreLoggedWithTheirTextsAndSummedUp)
{
    writeFolder(8);
    dir_.write("pictures/face5.jpg", "not a picture");
    devsim::FaceAddRules adds;
    adds.refusedSequences = {{2, -5}, {7, 3}};
    {
        Cameras cameras({DeviceFaceSettings{}}, {library(0, adds)});
        run(cameras);
    }
    const Outcome result = outcome(0);
    EXPECT_EQ(result.status, code(DeviceStatus::ImportFail));
    ASSERT_TRUE(result.summary);
    EXPECT_EQ(result.summary->summary, summary(5, 3));
    EXPECT_EQ(fs::path(result.summary->logPath).parent_path(), logFolder());
    // Device code 3 is stored with the device's error bits: an unknown error.
    EXPECT_EQ(fileText(result.summary->logPath),
              lines({line(1, -5), pictureName(5) + "\t\t" + languageText("IDCS_PICTURE_UNREADABLE"),
                     line(6, storedErrorCode(3))}));
    EXPECT_EQ(stored(0).size(), 5u);
}

// How a camera that stops answering, or answers too late, ends its batch add.
TEST_F(BatchAddTest, EveryWayABatchAddEndsEarlyLogsTheRightPersons)
{
    const auto rules = [](auto set) {
        devsim::FaceAddRules adds;
        set(adds);
        return adds;
    };
    struct Case
    {
        const char* what;
        std::size_t persons;
        devsim::FaceAddRules adds;
        std::chrono::milliseconds limit;
        std::size_t succeeded;
        std::vector<std::pair<std::size_t, tint32>> logged;
    } cases[] = {
        {"-6 ends the batch add after that person",
         10,
         rules([](auto& a) {
             a.refusedSequences = {{4, -6}};
         }),
         5s,
         3,
         {{3, -6}}},
        {"an unanswered person times out and the rest go on",
         6,
         rules([](auto& a) { a.silentAt = 3; }),
         1s,
         5,
         {{2, -16}}},
        // Every reply comes after the limit, while the next person waits: none may count
        // for it. Eleven time-outs in a row give the camera up.
        {"late replies never answer the next person",
         15,
         rules([](auto& a) { a.delayMs = 250; }),
         150ms,
         0,
         {{0, -16},
          {1, -16},
          {2, -16},
          {3, -16},
          {4, -16},
          {5, -16},
          {6, -16},
          {7, -16},
          {8, -16},
          {9, -16},
          {10, -16}}},
        {"a lost connection logs the person in flight",
         7,
         rules([](auto& a) { a.closeAt = 3; }),
         5s,
         2,
         {{2, -16}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink_.clear();
        fs::remove_all(libraryFolder(0));
        writeFolder(c.persons);
        limits_.addReplyWait = c.limit;
        {
            Cameras cameras({DeviceFaceSettings{}}, {library(0, c.adds)});
            run(cameras);
        }
        const Outcome result = outcome(0);
        ASSERT_TRUE(result.summary);
        EXPECT_EQ(result.summary->summary, summary(c.succeeded, c.persons - c.succeeded));
        std::string expected;
        for (const auto& [person, code] : c.logged)
            expected += (expected.empty() ? "" : "\r\n") + line(person, code);
        EXPECT_EQ(fileText(result.summary->logPath), expected);
        if (c.adds.delayMs == 0) {
            EXPECT_EQ(stored(0).size(), c.succeeded);
        }
    }
}

TEST_F(BatchAddTest, ThreeCamerasOneAfterAnotherShareThePreparedPictures)
{
    writeFolderToReencode(20);
    devsim::FaceAddRules refuseAll;
    refuseAll.refuseAll = -3;
    runThree({}, refuseAll);
    EXPECT_EQ(outcome(0).status, code(DeviceStatus::Success));
    EXPECT_EQ(outcome(2).status, code(DeviceStatus::Success));
    const Outcome refused = outcome(1);
    ASSERT_TRUE(refused.summary);
    EXPECT_EQ(refused.summary->summary, summary(0, 20));
    EXPECT_EQ(stored(0), stored(2));
    EXPECT_EQ(stored(0).size(), 20u);
    EXPECT_TRUE(stored(1).empty());
    EXPECT_EQ(codec_.encodes.load(), 10) << "each picture is re-encoded once per run";
    // The cameras were served one after another, in order.
    std::vector<std::string> order;
    for (const CallbackInfo& info : sink_.records())
        if (info.status == code(DeviceStatus::Connecting))
            order.push_back(std::string(fieldText(info.mac)));
    EXPECT_EQ(order, (std::vector<std::string>{cameraKey(0), cameraKey(1), cameraKey(2)}));
}

// Three cameras at once: each keeps its own persons in flight and its own refusals, and
// every picture is prepared once for all of them.
TEST_F(BatchAddTest, CamerasServedAtOnceKeepTheirOwnOutcomesAndShareThePictures)
{
    writeFolderToReencode(12);
    codec_.delay = 5ms;
    devsim::FaceAddRules slow;
    slow.delayMs = 150;
    devsim::FaceAddRules refusing;
    refusing.refusedSequences = {{3, -5}};
    atOnce_ = 3;
    runThree(slow, refusing);
    EXPECT_EQ(outcome(0).status, code(DeviceStatus::Success));
    EXPECT_EQ(outcome(2).status, code(DeviceStatus::Success));
    const Outcome refused = outcome(1);
    ASSERT_TRUE(refused.summary);
    EXPECT_EQ(refused.summary->summary, summary(11, 1));
    EXPECT_EQ(fileText(refused.summary->logPath), line(2, -5));
    EXPECT_EQ(stored(0), stored(2));
    EXPECT_EQ(stored(0).size(), 12u);
    EXPECT_EQ(stored(1).size(), 11u);
    EXPECT_EQ(codec_.encodes.load(), 6) << "each picture is re-encoded once for all cameras";
    // The slow camera still adds while the others start and end.
    const long slowEnd = firstRecord(0, DeviceStatus::Success);
    EXPECT_LT(firstRecord(1, DeviceStatus::Connecting), slowEnd);
    EXPECT_LT(firstRecord(2, DeviceStatus::Success), slowEnd);
}

TEST_F(BatchAddTest, CancelEndsBeforeTheNextPersonAndIsNoSuccess)
{
    writeFolder(40);
    devsim::FaceAddRules adds;
    adds.delayMs = 20;
    Cameras cameras({DeviceFaceSettings{}}, {library(0, adds)});
    const PersonListLoad load = LoadPersonList(pictures());
    ASSERT_EQ(load.result, PersonListLoad::Result::Ok);
    BatchAddSource source;
    source.persons = load.persons;
    source.codec = &codec_;
    source.logFolders = {logFolder(), {}};
    start(cameras, std::move(source));
    ASSERT_TRUE(sink_.waitFor([](const RecordingSink::Records& records) {
        return std::count_if(records.begin(), records.end(), [](const CallbackInfo& info) {
                   return info.status == code(DeviceStatus::Progress);
               }) >= 3;
    }));
    state_.cancel();
    ASSERT_TRUE(state_.waitForWorkersFor(10s));
    const Outcome result = outcome(0);
    ASSERT_TRUE(result.summary);
    const std::size_t progress = sink_.statusesOf(cameraKey(0)).size() - 2;
    EXPECT_LT(progress, 40u);
    EXPECT_EQ(result.summary->summary, summary(progress, 40 - progress));
    EXPECT_TRUE(result.summary->logPath.empty()) << "nothing was refused";
}
