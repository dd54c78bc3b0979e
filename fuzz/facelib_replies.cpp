// The face-library replies of a device as RecvCallback hands them to the run's transfer
// or batch add, with the data file and the CSV table written into a scratch folder. The
// input picks the operation, then a series of replies, each with the waits the worker
// would have open when it arrives.
//
// Properties: a reply too short for its result word never counts as success; the CSV
// export counts the records it wrote, fails on a page that brings none before the total,
// and writes nothing outside its folder.
#include "common/facelibrarycsv.h"
#include "device/commandids.h"
#include "facelib/batchadd.h"
#include "facelib/recvcallback.h"
#include "facelib/runstate.h"
#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"
#include "support/csvreader.h"
#include "support/textcodec.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

using namespace galvorn;
using galvorn::fuzz::FuzzInput;

namespace {

namespace fs = std::filesystem;

constexpr char kDeviceKey[] = "02:00:00:00:00:01";
constexpr std::array<OperationType, 4> kOperations = {
    OperationType::ExportData, OperationType::ImportData, OperationType::ExportCsv,
    OperationType::BatchAdd};
constexpr std::array<tint32, 7> kReplyTypes = {device::CALLBACK_FACE_TRANSFER_START,
                                               device::CALLBACK_FACE_IMPORT_DATA,
                                               device::CALLBACK_FACE_EXPORT_DATA,
                                               device::CALLBACK_FACE_TRANSFER_END,
                                               device::CALLBACK_FACE_INFO_QUERY,
                                               device::CALLBACK_FACE_IMAGE_ADD,
                                               device::CALLBACK_LINK_LOST};
// The result word that opens every start, chunk, end and add reply.
constexpr std::size_t kResultWordSize = 4;

class DiscardingSink : public StatusSink
{
public:
    void postStatus(std::unique_ptr<CallbackInfo>) override {}
};

// Stands for the device session: RecvCallback only uses it to find the session's work.
device::CNetDevice* sessionKey()
{
    static char key;
    return reinterpret_cast<device::CNetDevice*>(&key);
}

// The data rows of the CSV table, read back the way a spreadsheet would: UTF-8 whatever
// the devices sent, and each row naming a picture of its own that exists.
std::size_t checkTable(const std::string& path, const std::string& folder)
{
    std::error_code error;
    if (!fs::exists(path, error))
        return 0;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    FUZZ_CHECK(textcodec::isValidUtf8(bytes));
    CsvReader reader;
    FUZZ_CHECK(reader.openBytes(bytes) == CsvStatus::Ok);
    CsvRow row;
    FUZZ_CHECK(reader.readRow(row));
    std::set<std::string> pictures;
    std::size_t rows = 0;
    for (; reader.readRow(row); ++rows) {
        FUZZ_CHECK(row.cells.size() == 8);
        const std::string& picture = row.cells.back();
        FUZZ_CHECK(pictures.insert(picture).second);
        FUZZ_CHECK(fs::is_regular_file(folder + "/" + picture, error));
    }
    FUZZ_CHECK(reader.status() == CsvStatus::Ok);
    return rows;
}

// Everything the operation wrote is a regular file directly inside its folder.
void checkConfined(const std::string& root, const std::string& folder)
{
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(root, error))
        FUZZ_CHECK(entry.path() == folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        FUZZ_CHECK(entry.is_regular_file(error) && !entry.is_symlink(error));
}

struct Harness
{
    explicit Harness(OperationType operation, const std::string& folder) : operation(operation)
    {
        state.setOperation(operation);
        run = state.beginRun();
        if (operation == OperationType::BatchAdd) {
            batchAdd = std::make_shared<BatchAddDevice>();
            run->batchAdds().add(sessionKey(), batchAdd);
            return;
        }
        transfer = std::make_shared<FaceTransfer>(operation, kDeviceKey, *run, nullptr);
        if (operation == OperationType::ExportData) {
            transfer->writer = std::make_unique<facefile::Writer>(folder, kDeviceKey);
            transfer->writer->open();
        }
        if (operation == OperationType::ExportCsv)
            transfer->csv = std::make_unique<common::FaceLibraryCsv>(folder, folder + "/table.csv");
        transfer->totalSize = facefile::kHeaderSize + 3 * facefile::kImportChunkSize;
        run->transfers().add(sessionKey(), transfer);
    }
    ~Harness()
    {
        run->transfers().remove(sessionKey());
        run->batchAdds().remove(sessionKey());
    }

    // The waits the worker has open when the next reply arrives.
    void openWaits(std::uint8_t flags)
    {
        if (batchAdd) {
            if (flags & 1)
                batchAdd->beginPerson(flags >> 4);
            return;
        }
        const std::lock_guard guard(transfer->lock);
        transfer->waitingStart = flags & 1;
        transfer->waitingEnd = flags & 2;
    }

    void deliver(tint32 type, std::span<const std::uint8_t> payload, tuint32 parameter)
    {
        const bool wasWaitingEnd = transfer && transfer->waitingEnd;
        const bool wasWaitingStart = transfer && transfer->waitingStart;
        const tuint32 csvBefore = transfer ? transfer->csvReceived : 0;
        const bool completeBefore = transfer && transfer->dataComplete;
        RecvCallback(run.get(), sessionKey(), type,
                     type == device::CALLBACK_LINK_LOST ? -1 : static_cast<tint32>(payload.size()),
                     type == device::CALLBACK_LINK_LOST ? nullptr : payload.data(), parameter);
        if (!transfer)
            return;
        const std::lock_guard guard(transfer->lock);
        const bool shortReply = payload.size() < kResultWordSize;
        // A truncated reply is a failure, never a success that reads as result 0.
        if (type == device::CALLBACK_FACE_TRANSFER_END && wasWaitingEnd && shortReply &&
            (operation == OperationType::ExportData || operation == OperationType::ImportData))
            FUZZ_CHECK(!transfer->endAccepted);
        if (type == device::CALLBACK_FACE_TRANSFER_START && wasWaitingStart && shortReply &&
            (operation == OperationType::ExportData || operation == OperationType::ImportData))
            FUZZ_CHECK(transfer->state == FaceTransfer::kFailed);
        if (type == device::CALLBACK_FACE_IMPORT_DATA && shortReply && !wasWaitingEnd &&
            !wasWaitingStart && operation == OperationType::ImportData)
            FUZZ_CHECK(transfer->state == FaceTransfer::kFailed &&
                       transfer->dataComplete == completeBefore);
        // A page that brings no record before the total is reached ends the export.
        if (type == device::CALLBACK_FACE_INFO_QUERY && operation == OperationType::ExportCsv &&
            transfer->csvReceived == csvBefore && !transfer->dataComplete)
            FUZZ_CHECK(transfer->state == FaceTransfer::kFailed);
    }

    OperationType operation;
    DiscardingSink sink;
    RunState state{&sink};
    std::shared_ptr<RunContext> run;
    std::shared_ptr<FaceTransfer> transfer;
    std::shared_ptr<BatchAddDevice> batchAdd;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const fuzz::ScratchFolder scratch;
    const std::string folder = scratch.path() + "/export";
    fs::create_directory(folder);
    {
        Harness harness(kOperations[input.u8() % kOperations.size()], folder);
        while (!input.empty()) {
            const tint32 type = kReplyTypes[input.u8() % kReplyTypes.size()];
            harness.openWaits(input.u8());
            const tuint32 parameter = input.u8();
            harness.deliver(type, input.piece(), parameter);
        }
        if (harness.transfer && harness.transfer->csv) {
            // The export counts the records it wrote, and only those.
            const std::lock_guard guard(harness.transfer->lock);
            FUZZ_CHECK(harness.transfer->csvReceived ==
                       checkTable(harness.transfer->csv->tablePath(), folder));
        }
        if (harness.transfer && harness.transfer->writer)
            harness.transfer->writer->close();
    }
    checkConfined(scratch.path(), folder);
    return 0;
}
