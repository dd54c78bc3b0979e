#include "facelib/runstart.h"
#include "facelib/runstate.h"
#include "facelib/textfield.h"
#include "languagefixture.h"
#include "recordingsink.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <mutex>

using namespace galvorn;
using namespace std::chrono_literals;

// Start's checks in their order, the jobs it builds and the run it begins, as both front
// ends use them. The devices have no HTTP port, so every job ends at once unconnected.
namespace {

RunDevice deviceAt(int n, const std::string& softwareVer = "5.1.0")
{
    RunDevice run;
    run.row.ipAddr = "192.0.2." + std::to_string(n);
    run.row.ipAddr2 = "198.51.100." + std::to_string(n);
    run.row.mac = "02:00:00:00:00:0" + std::to_string(n);
    run.row.softwareVer = softwareVer;
    run.row.dataPort = 9008;
    run.maskAddr2 = "255.255.255.0";
    return run;
}

std::vector<RunDevice> devices(int count)
{
    std::vector<RunDevice> all;
    for (int n = 1; n <= count; ++n)
        all.push_back(deviceAt(n));
    return all;
}

// Records the devices whose addresses a run prepares.
class Preparations
{
public:
    PrepareAddress function()
    {
        return [this](const platform::DeviceAddressInfo& device, const platform::CancelSignal&) {
            const std::lock_guard guard(lock_);
            prepared_.push_back(device.ipAddr2 + "/" + device.maskAddr2 + " " + device.mac);
        };
    }
    std::vector<std::string> prepared() const
    {
        const std::lock_guard guard(lock_);
        return prepared_;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> prepared_;
};

class RunStartTest : public WithLanguage
{
protected:
    RunRequest request(OperationType operation, const std::string& path)
    {
        RunRequest request;
        request.operation = operation;
        request.inputs = {"admin", "secret", path, "library"};
        request.prepareAddress = preparations.function();
        return request;
    }

    // Start with the devices; counts how often the devices were asked for.
    RunCheck start(const RunRequest& request, const std::vector<RunDevice>& all)
    {
        return StartRun(state, request, [&] {
            ++listed;
            return all;
        });
    }

    TempDir dir;
    RecordingSink sink;
    RunState state{&sink};
    Preparations preparations;
    int listed = 0;
};

} // namespace

TEST_F(RunStartTest, EveryRefusalHasItsKey)
{
    const struct
    {
        RunRefusal refusal;
        const char* key;
    } keys[] = {
        {RunRefusal::None, nullptr},
        {RunRefusal::NoExportFolder, "IDCS_SELECT_EXPORTDIR"},
        {RunRefusal::NoImportFile, "IDCS_SELECT_IMPORTFILE"},
        {RunRefusal::NoPictureFolder, "IDCS_SELECT_BATCHADDDIR"},
        {RunRefusal::FaultyLine, "IDCS_ERRORLINEOFDOCUMENT"},
        {RunRefusal::NoPicture, "IDCS_PLEASE_EXIST_IMAGE"},
        {RunRefusal::TooManyPersons, "IDCS_IMAGE_COUNT_TOO_MORE"},
        {RunRefusal::NoExportDevice, "IDCS_EXPORT_DEVICE"},
        {RunRefusal::NoImportDevice, "IDCS_SELECT_IMPORT_DEVICE"},
        {RunRefusal::TooManyDevices, "IDCS_WARN_BATCHIMPORT_MAX_NUM"},
    };
    for (const auto& each : keys) {
        const char* key = refusalKey(each.refusal);
        EXPECT_EQ(key == nullptr, each.key == nullptr);
        if (key && each.key) {
            EXPECT_STREQ(key, each.key);
        }
    }
    std::string expected = languageText("IDCS_ERRORLINEOFDOCUMENT");
    expected.replace(expected.find("%1"), 2, "7");
    EXPECT_EQ(refusalText({RunRefusal::FaultyLine, 7}), expected);
    EXPECT_EQ(refusalText({RunRefusal::NoPicture, -1}), languageText("IDCS_PLEASE_EXIST_IMAGE"));
    EXPECT_EQ(refusalText({}), "");
}

// The checks before the devices never look at them.
TEST_F(RunStartTest, InputRefusalsComeBeforeTheDevicesAreListed)
{
    const struct
    {
        OperationType operation;
        RunRefusal refusal;
    } emptyPath[] = {
        {OperationType::ExportData, RunRefusal::NoExportFolder},
        {OperationType::ExportCsv, RunRefusal::NoExportFolder},
        {OperationType::ImportData, RunRefusal::NoImportFile},
        {OperationType::BatchAdd, RunRefusal::NoPictureFolder},
    };
    for (const auto& each : emptyPath)
        EXPECT_EQ(start(request(each.operation, ""), devices(1)).refusal, each.refusal);

    EXPECT_EQ(start(request(OperationType::BatchAdd, dir.path()), devices(1)).refusal,
              RunRefusal::NoPicture);
    dir.write("persons.csv", "(01)Name,(12)Picture\r\nAnna,anna.jpg\r\nShort\r\n");
    const RunCheck faulty = start(request(OperationType::BatchAdd, dir.path()), devices(1));
    EXPECT_EQ(faulty.refusal, RunRefusal::FaultyLine);
    EXPECT_EQ(faulty.line, 3);
    EXPECT_EQ(listed, 0);
    EXPECT_FALSE(state.running());
}

TEST_F(RunStartTest, DeviceCountIsCheckedOnceTheDevicesAreListed)
{
    EXPECT_EQ(start(request(OperationType::ExportData, dir.path()), {}).refusal,
              RunRefusal::NoExportDevice);
    EXPECT_EQ(start(request(OperationType::ExportCsv, dir.path()), {}).refusal,
              RunRefusal::NoExportDevice);
    EXPECT_EQ(start(request(OperationType::ImportData, dir.path()), {}).refusal,
              RunRefusal::NoImportDevice);
    dir.write("anna.jpg", "picture");
    EXPECT_EQ(start(request(OperationType::BatchAdd, dir.path()), {}).refusal,
              RunRefusal::NoImportDevice);
    std::vector<RunDevice> many(kMaxDevicesPerRun + 1, deviceAt(1));
    EXPECT_EQ(start(request(OperationType::ImportData, dir.path()), many).refusal,
              RunRefusal::TooManyDevices);
    EXPECT_EQ(listed, 5);
    EXPECT_FALSE(state.running());
    EXPECT_TRUE(sink.records().empty()) << "nothing started";
}

TEST_F(RunStartTest, AStartedRunServesTheDevicesInOrder)
{
    std::vector<RunDevice> all = devices(3);
    all[1].row.softwareVer = "V3.3.7";
    all[1].row.ipAddr2 = "203.0.113.2";
    all[2].row.ipAddr2.clear();
    ASSERT_TRUE(start(request(OperationType::ExportCsv, dir.path()), all).ok());
    EXPECT_TRUE(state.running());
    EXPECT_EQ(state.operation(), OperationType::ExportCsv);
    ASSERT_EQ(state.jobs().size(), 3u);
    const tuint32 connect[] = {inet_addr("198.51.100.1"), inet_addr("192.0.2.2"), 0};
    for (std::size_t i = 0; i < 3; ++i) {
        const DeviceJob& job = state.jobs()[i];
        EXPECT_EQ(job.index, i);
        EXPECT_EQ(fieldText(job.macAddress), all[i].row.mac);
        EXPECT_EQ(job.ipAddress, connect[i]) << i;
        EXPECT_EQ(fieldText(job.userName), "admin");
        EXPECT_EQ(fieldText(job.libraryPassword), "library");
        EXPECT_EQ(job.path, dir.path());
    }
    ASSERT_TRUE(state.waitForWorkersFor(10s));
    for (const RunDevice& each : all)
        EXPECT_EQ(sink.statusesOf(each.row.mac), std::vector{code(DeviceStatus::PortError)});
    // The address preparation got each second address with its mask and device.
    std::vector<std::string> prepared = preparations.prepared();
    std::sort(prepared.begin(), prepared.end());
    EXPECT_EQ(prepared, (std::vector<std::string>{"198.51.100.1/255.255.255.0 02:00:00:00:00:01",
                                                  "203.0.113.2/255.255.255.0 02:00:00:00:00:02"}));
}
