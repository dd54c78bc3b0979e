#include "cameras.h"
#include "common/facefeatureimportandexport.h"
#include "device/commandids.h"
#include "facelib/jobbuilder.h"
#include "facelib/resultcodes.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "facelib/statustable.h"
#include "recordingsink.h"
#include "runfolder.h"
#include "support/csvreader.h"
#include "tests/common/loopback.h"
#include "tools/devsim/facelibrary.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

using namespace galvorn;
using namespace std::chrono_literals;
using devsim::DeviceFaceSettings;
using devsim::FaceLibrarySettings;
using devsim::TransferFault;

// Face-library transfers between the runner and simulated cameras with real libraries,
// over loopback inside the test runner's private network namespace.
namespace {

namespace fs = std::filesystem;

constexpr char kLibraryPassword[] = "library";

std::string keyOf(std::size_t i)
{
    char text[18];
    std::snprintf(text, sizeof text, "00:1A:2B:3C:%02X:%02X", static_cast<unsigned>(i >> 8),
                  static_cast<unsigned>(i & 0xFF));
    return text;
}

std::vector<std::uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

std::size_t countLines(const fs::path& path, const std::string& needle)
{
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(needle) != std::string::npos;
    return count;
}

std::vector<devsim::Person> seeded(std::size_t count)
{
    std::vector<devsim::Person> persons;
    for (std::size_t i = 0; i < count; ++i)
        persons.push_back(devsim::seedPerson(i));
    return persons;
}

class TransferTest : public RunFolderTest
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        RunFolderTest::SetUp();
    }

    fs::path libraryFolder(std::size_t camera) const
    {
        return folder() / ("camera" + std::to_string(camera));
    }
    fs::path libraryFile(std::size_t camera) const
    {
        return libraryFolder(camera) / "facelibrary.bin";
    }
    DeviceFaceSettings device(std::size_t camera) const
    {
        DeviceFaceSettings settings;
        settings.recordPath = recording(camera).string();
        return settings;
    }

    // A camera library with `persons` already in its folder.
    FaceLibrarySettings library(std::size_t camera, const std::vector<devsim::Person>& persons)
    {
        fs::create_directories(libraryFolder(camera));
        writeFile(libraryFile(camera), devsim::encodeLibrary(persons));
        FaceLibrarySettings settings;
        settings.folder = libraryFolder(camera).string();
        settings.password = kLibraryPassword;
        return settings;
    }

    DeviceJob job(std::size_t camera, std::uint16_t port,
                  const std::string& libraryPassword = kLibraryPassword)
    {
        DeviceRow row;
        row.ipAddr = "127.0.0.1";
        row.mac = keyOf(camera);
        row.softwareVer = "V3.3.0.5";
        row.dataPort = port;
        row.httpPort = 80;
        return BuildDeviceJob(row, {"admin", "123456", exportFolder().string(), libraryPassword},
                              static_cast<tuint32>(camera), htonl(INADDR_LOOPBACK));
    }

    void run(OperationType operation, std::vector<DeviceJob> jobs)
    {
        state_.setOperation(operation);
        state_.setJobs(std::move(jobs));
        const std::vector<DeviceJob> started = state_.jobs();
        ASSERT_EQ(StartWorkers(state_), StartResult::kStarted);
        ASSERT_TRUE(state_.waitForWorkersFor(60s)) << "the run did not end";
        // Progress comes from the session's thread and the final status from the worker:
        // the final one must still be the last a device's row receives.
        for (const DeviceJob& job : started) {
            const std::vector<tuint32> statuses =
                sink_.statusesOf(std::string(fieldText(job.macAddress)));
            ASSERT_FALSE(statuses.empty());
            EXPECT_NE(statuses.back(), code(DeviceStatus::Progress)) << fieldText(job.macAddress);
        }
    }

    // The device's statuses without its progress reports.
    std::vector<tuint32> outcome(std::size_t camera) const
    {
        std::vector<tuint32> statuses = sink_.statusesOf(keyOf(camera));
        std::erase(statuses, code(DeviceStatus::Progress));
        return statuses;
    }

    std::vector<tuint32> finished(DeviceStatus status) const
    {
        return {code(DeviceStatus::Connecting), code(status)};
    }

    // The one data file of the export folder, checked as an import would check it.
    fs::path exportedFile() const
    {
        const std::vector<fs::path> files = filesIn(exportFolder());
        EXPECT_EQ(files.size(), 1u);
        if (files.size() != 1)
            return {};
        EXPECT_EQ(files[0].extension(), ".dat") << files[0];
        return files[0];
    }

    // Writes `blob` as an export would, into the export folder's one data file, and opens
    // that file in `reader` with the import's check.
    ::testing::AssertionResult openDataFile(std::span<const std::uint8_t> blob,
                                            facefile::Reader& reader) const
    {
        facefile::Writer writer(exportFolder().string(), "source");
        if (!writer.open() || !writer.append(blob) || !writer.close() || !writer.commit())
            return ::testing::AssertionFailure() << "the data file was not written";
        const facefile::Check check = reader.open(exportedFile().string());
        if (check != facefile::Check::Valid)
            return ::testing::AssertionFailure() << "the import check gave " << int(check);
        return ::testing::AssertionSuccess();
    }

    RecordingSink sink_;
    RunState state_{&sink_};
};

} // namespace

// --- Round trip ------------------------------------------------------------------------

TEST_F(TransferTest, LibraryMovesCameraToFileToCamerasByteForByte)
{
    const std::vector<devsim::Person> persons = seeded(40);
    FaceLibrarySettings source = library(0, persons);
    source.chunkSize = 10000;
    Cameras cameras({device(0), device(1), device(2)},
                    {source, library(1, {}), library(2, seeded(2))});
    const std::vector<std::uint8_t> original = fileBytes(libraryFile(0));
    ASSERT_EQ(original, devsim::encodeLibrary(persons));

    run(OperationType::ExportData, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::Success));
    const fs::path dataFile = exportedFile();
    const std::vector<std::uint8_t> data = fileBytes(dataFile);
    ASSERT_GT(data.size(), facefile::kHeaderSize);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + facefile::kHeaderSize, data.end()),
              original);
    // Progress came with the header as it grew, ending at every person.
    const auto records = sink_.records();
    const auto last = std::find_if(records.rbegin(), records.rend(), [](const CallbackInfo& info) {
        return info.status == code(DeviceStatus::Progress);
    });
    ASSERT_NE(last, records.rend());
    const auto report = decodeProgress(last->data);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->text, "100.00%");

    facefile::Reader reader;
    ASSERT_EQ(reader.open(dataFile.string()), facefile::Check::Valid);
    state_.setImportFile(&reader);
    run(OperationType::ImportData, {job(1, cameras.port(1)), job(2, cameras.port(2))});
    for (const std::size_t camera : {1, 2}) {
        EXPECT_EQ(outcome(camera), finished(DeviceStatus::Success)) << camera;
        EXPECT_EQ(fileBytes(libraryFile(camera)), original) << camera;
        EXPECT_GE(countLines(recording(camera), "name=CMD_FACE_IMPORT_DATA"),
                  original.size() / facefile::kImportChunkSize + 1);
    }
}

TEST_F(TransferTest, EmptyLibraryExportsAndImports)
{
    Cameras cameras({device(0), device(1)}, {library(0, {}), library(1, seeded(3))});
    run(OperationType::ExportData, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::Success));
    const fs::path dataFile = exportedFile();
    facefile::Reader reader;
    ASSERT_EQ(reader.open(dataFile.string()), facefile::Check::Valid);
    EXPECT_EQ(reader.header().librarySize, devsim::encodeLibrary({}).size());

    state_.setImportFile(&reader);
    run(OperationType::ImportData, {job(1, cameras.port(1))});
    EXPECT_EQ(outcome(1), finished(DeviceStatus::Success));
    EXPECT_EQ(fileBytes(libraryFile(1)), devsim::encodeLibrary({}));
}

TEST_F(TransferTest, DataAreaOfExactChunkMultipleEndsWithAnEmptyLastChunk)
{
    // One person whose picture brings the blob to exactly two chunks: 48 bytes of
    // library and person framing around the picture.
    devsim::Person person;
    person.picture.assign(2 * facefile::kImportChunkSize - 48, 0x5A);
    const std::vector<std::uint8_t> blob = devsim::encodeLibrary({person});
    ASSERT_EQ(blob.size(), 2 * facefile::kImportChunkSize);
    facefile::Reader reader;
    ASSERT_TRUE(openDataFile(blob, reader));

    Cameras cameras({device(0)}, {library(0, {})});
    state_.setImportFile(&reader);
    run(OperationType::ImportData, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::Success));
    EXPECT_EQ(fileBytes(libraryFile(0)), blob);
    EXPECT_EQ(countLines(recording(0), "flag=1\tlength=61440"), 2u);
    EXPECT_EQ(countLines(recording(0), "flag=2\tlength=0"), 1u);
    EXPECT_EQ(countLines(recording(0), "name=CMD_FACE_IMPORT_DATA"), 3u);
}

TEST_F(TransferTest, ThirtyTwoCamerasImportAtOnce)
{
    constexpr std::size_t kCameras = 32;
    const std::vector<std::uint8_t> blob = devsim::encodeLibrary(seeded(6));
    facefile::Reader reader;
    ASSERT_TRUE(openDataFile(blob, reader));
    std::vector<DeviceFaceSettings> devices;
    std::vector<FaceLibrarySettings> libraries;
    for (std::size_t i = 0; i < kCameras; ++i) {
        devices.push_back(device(i));
        libraries.push_back(library(i, {}));
    }
    Cameras cameras(devices, libraries);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < kCameras; ++i)
        jobs.push_back(job(i, cameras.port(i)));
    state_.setImportFile(&reader);
    run(OperationType::ImportData, std::move(jobs));
    for (std::size_t i = 0; i < kCameras; ++i) {
        EXPECT_EQ(outcome(i), finished(DeviceStatus::Success)) << i;
        EXPECT_EQ(fileBytes(libraryFile(i)), blob) << i;
    }
}

// The chunks are read ahead of the acknowledgements, and every one is still checked
// against the file chosen: a file that grows during the import fails it, and the camera
// keeps its library.
TEST_F(TransferTest, ADataFileThatChangesDuringTheImportFailsIt)
{
    const std::vector<std::uint8_t> blob(8 * facefile::kImportChunkSize, 0x33);
    facefile::Reader reader;
    ASSERT_TRUE(openDataFile(blob, reader));
    const fs::path file = exportedFile();
    DeviceFaceSettings slow = device(0);
    slow.replyDelayUs = 20000;
    Cameras cameras({slow}, {library(0, seeded(2))});
    const std::vector<std::uint8_t> before = fileBytes(libraryFile(0));
    state_.setImportFile(&reader);
    state_.setOperation(OperationType::ImportData);
    state_.setJobs({job(0, cameras.port(0))});
    ASSERT_EQ(StartWorkers(state_), StartResult::kStarted);
    ASSERT_TRUE(sink_.waitFor([](const RecordingSink::Records& records) {
        return std::any_of(records.begin(), records.end(), [](const CallbackInfo& info) {
            return info.status == code(DeviceStatus::Progress);
        });
    }));
    std::ofstream(file, std::ios::app) << "late";
    ASSERT_TRUE(state_.waitForWorkersFor(60s));
    EXPECT_EQ(outcome(0), finished(DeviceStatus::ImportFail));
    EXPECT_LT(countLines(recording(0), "name=CMD_FACE_IMPORT_DATA"), 8u);
    EXPECT_EQ(countLines(recording(0), "flag=2"), 0u) << "the last chunk never left";
    EXPECT_EQ(fileBytes(libraryFile(0)), before);
}

// --- Device errors ----------------------------------------------------------------------

struct RefusalCase
{
    const char* name;
    OperationType operation;
    const char* libraryPassword;
    std::int32_t refuseStart;
    std::int32_t refuseImportChunk;
    std::int32_t expectedCode;
};

class RefusalTest : public TransferTest, public ::testing::WithParamInterface<RefusalCase>
{};

TEST_P(RefusalTest, DeviceCodeShowsItsTextAndEndsTheRun)
{
    const RefusalCase& each = GetParam();
    FaceLibrarySettings settings = library(0, seeded(3));
    settings.refuseStart = each.refuseStart;
    settings.refuseImportChunk = each.refuseImportChunk;
    const std::vector<std::uint8_t> before = fileBytes(libraryFile(0));
    Cameras cameras({device(0)}, {settings});
    facefile::Reader reader;
    if (each.operation == OperationType::ImportData) {
        ASSERT_TRUE(openDataFile(devsim::encodeLibrary(seeded(1)), reader));
        state_.setImportFile(&reader);
    }
    run(each.operation, {job(0, cameras.port(0), each.libraryPassword)});

    EXPECT_EQ(outcome(0), finished(DeviceStatus::DeviceError));
    EXPECT_EQ(state_.tables().errorCodeOfDevice(keyOf(0)), each.expectedCode);
    const std::string text = deviceErrorText(state_.tables(), keyOf(0));
    EXPECT_EQ(text, resultCodeText(each.expectedCode));
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(isFinalRowText(text, text));
    // Nothing changed on the camera, and an export left no file.
    EXPECT_EQ(fileBytes(libraryFile(0)), before);
    if (each.operation == OperationType::ExportData) {
        EXPECT_TRUE(filesIn(exportFolder()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RefusalTest,
    ::testing::Values(RefusalCase{"ExportWrongPassword", OperationType::ExportData, "wrong", 0, 0,
                                  devsim::kWrongLibraryPassword},
                      RefusalCase{"ImportWrongPassword", OperationType::ImportData, "wrong", 0, 0,
                                  devsim::kWrongLibraryPassword},
                      RefusalCase{"ExportStartRefused", OperationType::ExportData, kLibraryPassword,
                                  -13, 0, -13},
                      RefusalCase{"ImportChunkRefused", OperationType::ImportData, kLibraryPassword,
                                  0, -16, -16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, BrokenLibraryDataIsRefusedByTheCamera)
{
    std::vector<std::uint8_t> blob = devsim::encodeLibrary(seeded(2));
    blob[20] ^= 0xFF;
    facefile::Reader reader;
    ASSERT_TRUE(openDataFile(blob, reader));
    Cameras cameras({device(0)}, {library(0, seeded(1))});
    const std::vector<std::uint8_t> before = fileBytes(libraryFile(0));
    state_.setImportFile(&reader);
    run(OperationType::ImportData, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::DeviceError));
    EXPECT_EQ(state_.tables().errorCodeOfDevice(keyOf(0)), devsim::kLibraryDataIncorrect);
    EXPECT_EQ(fileBytes(libraryFile(0)), before);
}

TEST_F(TransferTest, CamerasWithTheSameTransferIdKeepTheirOwnErrors)
{
    const std::vector<std::uint8_t> blob = devsim::encodeLibrary(seeded(1));
    facefile::Reader reader;
    ASSERT_TRUE(openDataFile(blob, reader));
    FaceLibrarySettings first = library(0, {});
    first.refuseImportChunk = -9;
    FaceLibrarySettings second = library(1, {});
    second.refuseImportChunk = -12;
    Cameras cameras({device(0), device(1)}, {first, second});
    state_.setImportFile(&reader);
    run(OperationType::ImportData, {job(0, cameras.port(0)), job(1, cameras.port(1))});
    // Both cameras number their first transfer 1.
    EXPECT_EQ(state_.tables().transferId(keyOf(0)), state_.tables().transferId(keyOf(1)));
    EXPECT_EQ(deviceErrorText(state_.tables(), keyOf(0)), resultCodeText(-9));
    EXPECT_EQ(deviceErrorText(state_.tables(), keyOf(1)), resultCodeText(-12));
}

// --- Faults -----------------------------------------------------------------------------

struct FaultCase
{
    const char* name;
    OperationType operation;
    TransferFault fault;
    unsigned faultAt;
    DeviceStatus expected;
    // The end request still reaches the camera.
    bool endSent;
};

class FaultTest : public TransferTest, public ::testing::WithParamInterface<FaultCase>
{};

TEST_P(FaultTest, TransferFailsAndLeavesNoDataFile)
{
    const FaultCase& each = GetParam();
    FaceLibrarySettings settings = library(0, seeded(20));
    settings.chunkSize = 8192;
    settings.fault = each.fault;
    settings.faultAt = each.faultAt;
    const std::vector<std::uint8_t> before = fileBytes(libraryFile(0));
    facefile::Reader reader;
    if (each.operation == OperationType::ImportData) {
        ASSERT_TRUE(openDataFile(devsim::encodeLibrary(seeded(12)), reader));
        state_.setImportFile(&reader);
    }
    RunLimits limits;
    limits.exportWait = 400ms;
    limits.importWait = 400ms;
    state_.setLimits(limits);
    Cameras cameras({device(0)}, {settings});
    const auto started = std::chrono::steady_clock::now();
    run(each.operation, {job(0, cameras.port(0))});
    const auto took = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(outcome(0), finished(each.expected));
    EXPECT_EQ(countLines(recording(0), "name=CMD_FACE_TRANSFER_END"), each.endSent ? 1u : 0u);
    EXPECT_EQ(fileBytes(libraryFile(0)), before);
    if (each.operation == OperationType::ExportData) {
        EXPECT_TRUE(filesIn(exportFolder()).empty()) << "no .dat and no .part";
    }
    if (each.fault == TransferFault::Silent) {
        EXPECT_GE(took, 400ms);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, FaultTest,
    ::testing::Values(FaultCase{"ExportClosesMidTransfer", OperationType::ExportData,
                                TransferFault::Close, 4, DeviceStatus::ExportFail, false},
                      FaultCase{"ImportClosesMidTransfer", OperationType::ImportData,
                                TransferFault::Close, 3, DeviceStatus::ImportFail, false},
                      FaultCase{"ExportStartUnanswered", OperationType::ExportData,
                                TransferFault::Silent, 1, DeviceStatus::ExportFail, false},
                      FaultCase{"ImportStartUnanswered", OperationType::ImportData,
                                TransferFault::Silent, 1, DeviceStatus::ImportFail, false},
                      FaultCase{"ExportDataUnanswered", OperationType::ExportData,
                                TransferFault::Silent, 3, DeviceStatus::ExportFail, false},
                      // The camera fails the export in its data phase but accepts the end request:
                      // the transfer is still a failure.
                      FaultCase{"ExportStateZero", OperationType::ExportData,
                                TransferFault::FailState, 3, DeviceStatus::ExportFail, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, DataChunksAfterTheEndRequestAreNotWritten)
{
    const std::vector<devsim::Person> persons = seeded(10);
    const std::vector<std::uint8_t> blob = devsim::encodeLibrary(persons);
    FaceLibrarySettings settings = library(0, persons);
    settings.chunkSize = 4096;
    settings.fault = TransferFault::LateChunks;
    settings.lateChunks = 5;
    // start, the data chunks, the reply that says no more data, then the end request.
    const std::size_t chunks = (blob.size() + settings.chunkSize - 1) / settings.chunkSize;
    settings.faultAt = static_cast<unsigned>(1 + chunks + 1 + 1);
    Cameras cameras({device(0)}, {settings});
    run(OperationType::ExportData, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::Success));
    const std::vector<std::uint8_t> data = fileBytes(exportedFile());
    ASSERT_GE(data.size(), facefile::kHeaderSize);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + facefile::kHeaderSize, data.end()), blob);
}

TEST_F(TransferTest, CancelMidExportStillEndsTheTransferAndFails)
{
    FaceLibrarySettings settings = library(0, seeded(60));
    settings.chunkSize = 1024;
    DeviceFaceSettings slow = device(0);
    slow.replyDelayUs = 2000;
    Cameras cameras({slow}, {settings});
    state_.setOperation(OperationType::ExportData);
    state_.setJobs({job(0, cameras.port(0))});
    ASSERT_EQ(StartWorkers(state_), StartResult::kStarted);
    ASSERT_TRUE(sink_.waitFor([](const RecordingSink::Records& records) {
        return std::any_of(records.begin(), records.end(), [](const CallbackInfo& info) {
            return info.status == code(DeviceStatus::Progress);
        });
    }));
    state_.cancel();
    ASSERT_TRUE(state_.waitForWorkersFor(60s));
    EXPECT_EQ(outcome(0), finished(DeviceStatus::ExportFail));
    EXPECT_EQ(countLines(recording(0), "name=CMD_FACE_TRANSFER_END"), 1u);
    EXPECT_TRUE(filesIn(exportFolder()).empty());
}

// --- CSV --------------------------------------------------------------------------------

TEST_F(TransferTest, CsvExportWritesTableAndPicturesOfTheLibrary)
{
    std::vector<devsim::Person> persons = seeded(25);
    persons[1].name = "Doe, Jane";
    persons[2].name = "../up";
    Cameras cameras({device(0)}, {library(0, persons)});
    run(OperationType::ExportCsv, {job(0, cameras.port(0))});
    EXPECT_EQ(outcome(0), finished(DeviceStatus::Success));
    EXPECT_EQ(countLines(recording(0), "name=CMD_FACE_INFO_QUERY"), 3u);

    std::vector<fs::path> tables;
    std::size_t pictures = 0;
    for (const fs::path& file : filesIn(exportFolder())) {
        if (file.extension() == ".csv")
            tables.push_back(file);
        pictures += file.extension() == ".jpg";
    }
    EXPECT_EQ(pictures, 25u);
    ASSERT_EQ(tables.size(), 1u);
    CsvReader reader;
    ASSERT_EQ(reader.openFile(tables[0].string()), CsvStatus::Ok);
    std::vector<CsvRow> rows;
    for (CsvRow row; reader.readRow(row);)
        rows.push_back(row);
    ASSERT_EQ(rows.size(), 26u);
    for (std::size_t i = 0; i < persons.size(); ++i) {
        ASSERT_EQ(rows[i + 1].cells.size(), 8u) << i;
        EXPECT_EQ(rows[i + 1].cells[0], persons[i].name);
        EXPECT_EQ(rows[i + 1].cells[4], persons[i].cardNumber);
        EXPECT_EQ(fileBytes(exportFolder() / rows[i + 1].cells[7]), persons[i].picture) << i;
    }
    EXPECT_EQ(filesIn(folder()).size(), 3u) << "export folder, library folder, recording";
}

// --- Quit ------------------------------------------------------------------------------

// Closing the window during a run: a worker waiting for a reply that never comes (the
// end reply of an export waits up to 100 s, the login reply 20 s) ends once the grace
// period is over and its connection is broken, not when the device's limit runs out.
TEST_F(TransferTest, QuitBreaksTheConnectionsOfWorkersWaitingForReplies)
{
    const auto fullProgress = [](const RecordingSink::Records& records) {
        return std::any_of(records.begin(), records.end(), [](const CallbackInfo& info) {
            const auto report = info.status == code(DeviceStatus::Progress)
                                    ? decodeProgress(info.data)
                                    : std::nullopt;
            return report && report->text == "100.00%";
        });
    };
    const auto connecting = [](const RecordingSink::Records& records) { return !records.empty(); };
    const struct
    {
        const char* name;
        DeviceFaceSettings face;
        std::function<bool(const RecordingSink::Records&)> waiting;
    } cases[] = {
        {"end reply",
         [this] {
             DeviceFaceSettings face = device(0);
             face.ignoreCommand = device::CMD_FACE_TRANSFER_END;
             return face;
         }(),
         fullProgress},
        {"login reply",
         [this] {
             DeviceFaceSettings face = device(0);
             face.noReply = true;
             return face;
         }(),
         connecting},
    };
    for (const auto& c : cases) {
        Cameras cameras({c.face}, {library(0, seeded(5))});
        RecordingSink sink;
        RunState state(&sink);
        state.setOperation(OperationType::ExportData);
        state.setJobs({job(0, cameras.port(0))});
        ASSERT_EQ(StartWorkers(state), StartResult::kStarted);
        ASSERT_TRUE(sink.waitFor(c.waiting)) << c.name;
        auto quit = std::async(std::launch::async, [&state] { state.shutdown(200ms); });
        EXPECT_EQ(quit.wait_for(15s), std::future_status::ready)
            << c.name << ": the quit waited for the device";
        quit.wait();
        EXPECT_TRUE(filesIn(exportFolder()).empty()) << c.name << ": the export left a file";
    }
}
