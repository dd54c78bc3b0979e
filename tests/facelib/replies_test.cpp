#include "device/netdvsdevice.h"
#include "facelib/batchadd.h"
#include "facelib/operations.h"
#include "facelib/recvcallback.h"
#include "facelib/runstate.h"
#include "languagefixture.h"
#include "recordingsink.h"
#include "scripteddevice.h"
#include "testkit/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

// The face-library operations against a device that sends replies too short for their
// fields, pages that claim more than they carry, and data replies without data. Each
// must end the operation as a failure, never as a success and never in an endless loop.
using namespace galvorn;
using namespace std::chrono_literals;

namespace {

constexpr char kKey[] = "02:00:00:00:00:0D";
using Reply = ScriptedDevice::Reply;
using Words = std::initializer_list<tuint32>;

std::vector<std::uint8_t> words(Words values)
{
    return ScriptedDevice::words(values);
}

std::vector<std::uint8_t> withBytes(std::vector<std::uint8_t> head, std::string_view tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A CSV page of `total` persons carrying `names`, each with a four-byte picture.
std::vector<std::uint8_t> page(tuint32 total, const std::vector<std::string>& names)
{
    std::vector<std::uint8_t> bytes = words({total, static_cast<tuint32>(names.size())});
    for (const std::string& name : names) {
        std::vector<std::uint8_t> record(common::kPersonRecordSize);
        std::copy(name.begin(), name.end(), record.begin() + 8);
        record[348] = 4; // picture length
        bytes.insert(bytes.end(), record.begin(), record.end());
        bytes.insert(bytes.end(), {0xFF, 0xD8, 0xFF, 0xD9});
    }
    return bytes;
}

// What a well-behaved camera answers: one export chunk and then the end of the data,
// every chunk accepted, a library of one person.
std::vector<std::uint8_t> wellBehaved(tuint32 command, std::size_t earlier)
{
    switch (command) {
    case device::CMD_FACE_TRANSFER_START:
    case device::CMD_FACE_IMPORT_DATA:
    case device::CMD_FACE_TRANSFER_END:
        return words({0, 7});
    case device::CMD_FACE_EXPORT_DATA:
        return earlier == 0 ? withBytes(words({7, 1, 1, 1, 4}), "data") : words({7, 2, 1, 0, 0});
    case device::CMD_FACE_INFO_QUERY:
        return page(1, {"Ann"});
    default:
        return {};
    }
}

// A camera that answers as a well-behaved one, but answers every `broken` request with
// `instead`.
ScriptedDevice::Script answeringBut(tuint32 broken, std::vector<std::uint8_t> instead)
{
    return [broken, instead](tuint32 command, std::span<const std::uint8_t>, std::size_t earlier) {
        const auto payload = command == broken ? instead : wellBehaved(command, earlier);
        return std::vector<Reply>{{command + device::kFaceReplyOffset, payload}};
    };
}

class MalformedReplies : public WithLanguage
{
protected:
    void SetUp() override
    {
        WithLanguage::SetUp();
        RunLimits limits;
        limits.exportWait = limits.importWait = limits.csvWait = 3s;
        state_.setLimits(limits);
        writeDataFile();
    }

    // Runs the operation against the device and returns the statuses of the device.
    std::vector<tuint32> run(OperationType operation, ScriptedDevice& device)
    {
        state_.setOperation(operation);
        state_.setImportFile(&importFile_);
        const std::shared_ptr<RunContext> context = state_.beginRun();
        int error = 0;
        device::SessionHandle session(device::CreateSession(device.sessionSocket(),
                                                            ScriptedDevice::greeting(),
                                                            &RecvCallback, context.get(), error));
        EXPECT_TRUE(session);
        if (!session)
            return {};
        device::DEVICE_INFO info{};
        EXPECT_EQ(session->Login("admin", "123456", info), 0);
        switch (operation) {
        case OperationType::ExportData:
            ExportFile(0, *session, kKey, "", dir_.path(), *context, nullptr);
            break;
        case OperationType::ImportData:
            ImportFile(0, *session, kKey, "", *context, nullptr);
            break;
        case OperationType::ExportCsv:
            ExportCSV(0, *session, kKey, dir_.path(), *context, nullptr);
            break;
        case OperationType::BatchAdd:
            break;
        }
        return sink_.statusesOf(kKey);
    }

    // Two full chunks and a short one.
    void writeDataFile()
    {
        facefile::Header header;
        header.librarySize = 2 * facefile::kImportChunkSize + 100;
        const auto head = facefile::encodeHeader(header);
        std::string bytes(head.begin(), head.end());
        bytes.append(header.librarySize, 'L');
        dir_.write("library.dat", bytes);
        ASSERT_EQ(importFile_.open(dir_.file("library.dat")), facefile::Check::Valid);
    }

    bool exportedAnything() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            if (entry.path().filename() != "library.dat")
                return true;
        return false;
    }

    TempDir dir_;
    facefile::Reader importFile_;
    RecordingSink sink_;
    RunState state_{&sink_};
};

struct MalformedCase
{
    const char* name;
    OperationType operation;
    tuint32 command;
    std::vector<std::uint8_t> reply;
    DeviceStatus expected;
};

TEST_F(MalformedReplies, EndTheOperationAsItsFailure)
{
    const std::vector<MalformedCase> cases = {
        {"export, empty start reply",
         OperationType::ExportData,
         device::CMD_FACE_TRANSFER_START,
         {},
         DeviceStatus::ExportFail},
        {"export, accepted start without its transfer id", OperationType::ExportData,
         device::CMD_FACE_TRANSFER_START, words({0}), DeviceStatus::ExportFail},
        {"export, empty data reply",
         OperationType::ExportData,
         device::CMD_FACE_EXPORT_DATA,
         {},
         DeviceStatus::ExportFail},
        {"export, end reply shorter than its result",
         OperationType::ExportData,
         device::CMD_FACE_TRANSFER_END,
         {0, 0},
         DeviceStatus::ExportFail},
        {"import, empty start reply",
         OperationType::ImportData,
         device::CMD_FACE_TRANSFER_START,
         {},
         DeviceStatus::ImportFail},
        {"import, chunk reply shorter than its result",
         OperationType::ImportData,
         device::CMD_FACE_IMPORT_DATA,
         {0, 0, 0},
         DeviceStatus::ImportFail},
        {"import, end reply shorter than its result",
         OperationType::ImportData,
         device::CMD_FACE_TRANSFER_END,
         {0, 0},
         DeviceStatus::ImportFail},
        {"CSV, page shorter than its counts",
         OperationType::ExportCsv,
         device::CMD_FACE_INFO_QUERY,
         {1, 0, 0, 0, 1, 0},
         DeviceStatus::ExportFail},
        {"CSV, page that claims every person and carries none", OperationType::ExportCsv,
         device::CMD_FACE_INFO_QUERY, words({1, 1}), DeviceStatus::ExportFail},
    };
    for (const MalformedCase& c : cases) {
        sink_.clear();
        {
            ScriptedDevice device(answeringBut(c.command, c.reply));
            const std::vector<tuint32> statuses = run(c.operation, device);
            ASSERT_FALSE(statuses.empty()) << c.name;
            EXPECT_EQ(statuses.back(), code(c.expected)) << c.name;
            EXPECT_EQ(device.requests(c.command), 1u) << c.name << ": asked again";
        }
        if (c.operation == OperationType::ExportData) {
            EXPECT_FALSE(exportedAnything()) << c.name;
        }
    }
}

TEST_F(MalformedReplies, WellFormedRepliesStillSucceed)
{
    for (const OperationType operation :
         {OperationType::ExportData, OperationType::ImportData, OperationType::ExportCsv}) {
        sink_.clear();
        ScriptedDevice device(answeringBut(0, {}));
        const std::vector<tuint32> statuses = run(operation, device);
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back(), code(DeviceStatus::Success)) << static_cast<int>(operation);
    }
}

TEST_F(MalformedReplies, CsvPagesThatStopBringingPersonsEndTheExport)
{
    ScriptedDevice device([](tuint32 command, std::span<const std::uint8_t>, std::size_t earlier) {
        const auto payload = earlier == 0 ? page(5, {"Ann"}) : page(5, {});
        return std::vector<Reply>{{command + device::kFaceReplyOffset, payload}};
    });
    const std::vector<tuint32> statuses = run(OperationType::ExportCsv, device);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), code(DeviceStatus::ExportFail));
    EXPECT_EQ(device.requests(device::CMD_FACE_INFO_QUERY), 2u);
}

TEST_F(MalformedReplies, DataRepliesWithoutDataEndTheExportAfterABoundedNumber)
{
    const RunLimits limits;
    ScriptedDevice device(answeringBut(device::CMD_FACE_EXPORT_DATA, words({7, 1, 1, 0, 0})));
    const std::vector<tuint32> statuses = run(OperationType::ExportData, device);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), code(DeviceStatus::ExportFail));
    EXPECT_EQ(device.requests(device::CMD_FACE_EXPORT_DATA), limits.maxConsecutiveEmptyChunks + 1);
    EXPECT_EQ(device.requests(device::CMD_FACE_TRANSFER_END), 1u) << "the camera is let go";
}

// A stop in the data phase sends the end request only once the data request in flight
// is answered: the camera never has two requests of the client at a time.
TEST_F(MalformedReplies, AStopEndsTheTransferOnlyAfterTheRequestInFlightIsAnswered)
{
    for (const OperationType operation : {OperationType::ExportData, OperationType::ImportData}) {
        const bool exporting = operation == OperationType::ExportData;
        const tuint32 data =
            exporting ? device::CMD_FACE_EXPORT_DATA : device::CMD_FACE_IMPORT_DATA;
        sink_.clear();
        state_.setOperation(operation);
        state_.setImportFile(&importFile_);
        const std::shared_ptr<RunContext> context = state_.beginRun();
        ScriptedDevice device(
            [&context, data](tuint32 command, std::span<const std::uint8_t>, std::size_t earlier) {
                if (command == data && earlier == 1) {
                    // The run stops while the camera works on the second chunk.
                    context->requestStop();
                    std::this_thread::sleep_for(200ms);
                }
                const auto payload = command == device::CMD_FACE_EXPORT_DATA
                                         ? withBytes(words({7, 1, 3, 1, 4}), "data")
                                         : wellBehaved(command, earlier);
                return std::vector<Reply>{{command + device::kFaceReplyOffset, payload}};
            });
        int error = 0;
        device::SessionHandle session(device::CreateSession(device.sessionSocket(),
                                                            ScriptedDevice::greeting(),
                                                            &RecvCallback, context.get(), error));
        ASSERT_TRUE(session);
        device::DEVICE_INFO info{};
        ASSERT_EQ(session->Login("admin", "123456", info), 0);
        if (exporting)
            ExportFile(0, *session, kKey, "", dir_.path(), *context, nullptr);
        else
            ImportFile(0, *session, kKey, "", *context, nullptr);

        const std::vector<tuint32> statuses = sink_.statusesOf(kKey);
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back(),
                  code(exporting ? DeviceStatus::ExportFail : DeviceStatus::ImportFail));
        EXPECT_EQ(device.requests(data), 2u) << "none after the stop";
        EXPECT_EQ(device.requests(device::CMD_FACE_TRANSFER_END), 1u);
        EXPECT_EQ(device.overlaps(), 0u) << exporting;
        EXPECT_FALSE(exportedAnything());
    }
}

TEST(BatchAddReply, ShorterThanItsResultIsAFailureOfThePerson)
{
    for (const std::vector<std::uint8_t>& payload :
         {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0, 0, 0}}) {
        RecordingSink sink;
        RunState state(&sink);
        state.setOperation(OperationType::BatchAdd);
        const std::shared_ptr<RunContext> run = state.beginRun();
        auto device = std::make_shared<BatchAddDevice>();
        static char sessionKey;
        auto* session = reinterpret_cast<device::CNetDevice*>(&sessionKey);
        run->batchAdds().add(session, device);
        device->beginPerson(3);
        RecvCallback(run.get(), session, device::CALLBACK_FACE_IMAGE_ADD,
                     static_cast<tint32>(payload.size()), payload.data(), 3);
        tuint32 result = 0;
        EXPECT_EQ(device->awaitReply(0ms, result), BatchAddDevice::Answer::Malformed)
            << payload.size() << " bytes";
        run->batchAdds().remove(session);
    }
}

} // namespace
