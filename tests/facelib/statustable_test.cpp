#include "facelib/statustable.h"
#include "facelib/textfield.h"
#include "languagefixture.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>

using namespace galvorn;

namespace {

constexpr char kMac[] = "12:34:56:78:9A:BC";
constexpr char kIp[] = "192.0.2.10";

CallbackInfo record(tuint32 status, std::vector<std::uint8_t> data = {})
{
    CallbackInfo info;
    info.status = status;
    setFieldText(info.mac, kMac);
    setFieldText(info.ip, kIp);
    info.data = std::move(data);
    return info;
}

CallbackInfo record(DeviceStatus status, std::vector<std::uint8_t> data = {})
{
    return record(static_cast<tuint32>(status), std::move(data));
}

facefile::Header exportHeader()
{
    facefile::Header header;
    header.personCount = 1234;
    header.whitelistCount = 1000;
    header.blacklistCount = 34;
    header.strangerCount = 200;
    std::memcpy(header.updateDate.data(), "2024-03-05", 10);
    header.librarySize = 5000;
    return header;
}

constexpr OperationType kAllOperations[] = {OperationType::ExportData, OperationType::ImportData,
                                            OperationType::BatchAdd, OperationType::ExportCsv};

} // namespace

class StatusTable : public WithLanguage
{
protected:
    TransferTables tables;
};

// The row text of every status whose text is fixed, and whether it ends the row.
TEST_F(StatusTable, FixedTextStatuses)
{
    struct Case
    {
        tuint32 status;
        const char* rowText;
        bool final;
    };
    const Case cases[] = {
        {5, "Invalid port", true},
        {6, "Connection failed", true},
        {7, "Wrong user name or password", true},
        {8, "Too many connections", true},
        {10, "Succeeded", true},
        {12, "Export failed", true},
        {14, "Import failed", true},
        {15, "Connecting...", false},
    };
    for (const OperationType operation : kAllOperations) {
        for (const Case& c : cases) {
            const StatusEffect effect = statusEffect(record(c.status), operation, tables);
            ASSERT_TRUE(effect.rowText) << c.status;
            EXPECT_EQ(*effect.rowText, c.rowText) << c.status;
            EXPECT_EQ(effect.final, c.final) << c.status;
            EXPECT_EQ(isFinalRowText(*effect.rowText, ""), c.final) << c.status;
            EXPECT_FALSE(effect.panes) << c.status;
            EXPECT_FALSE(effect.batchSummary) << c.status;
        }
    }
}

TEST_F(StatusTable, LoginRefusedWithAnotherCodeEndsTheRowWithItsCode)
{
    for (const tint32 code : {2, -7, 65535, std::numeric_limits<tint32>::min()}) {
        const StatusEffect effect =
            statusEffect(record(DeviceStatus::LoginFail, encodeResultCode(code)),
                         OperationType::ImportData, tables);
        ASSERT_TRUE(effect.rowText);
        EXPECT_EQ(*effect.rowText, "Login failed (" + std::to_string(code) + ")");
        EXPECT_TRUE(effect.final);
        EXPECT_TRUE(isFinalRowText(*effect.rowText, "")) << *effect.rowText;
    }
}

TEST_F(StatusTable, LoginFailureWithoutItsCodeStillEndsTheRow)
{
    for (const auto& data : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{1, 2, 3},
                             std::vector<std::uint8_t>{1, 2, 3, 4, 5}}) {
        const StatusEffect effect =
            statusEffect(record(DeviceStatus::LoginFail, data), OperationType::ExportData, tables);
        ASSERT_TRUE(effect.rowText);
        EXPECT_EQ(*effect.rowText, "Login failed (?)");
        EXPECT_TRUE(isFinalRowText(*effect.rowText, ""));
    }
}

TEST_F(StatusTable, LoginFailureIsFinalInEveryLanguage)
{
    for (const std::uint32_t language : {kChinesePrc, kChineseTaiwan, kEnglish}) {
        use(language);
        const std::string rowText = loginFailText(3);
        EXPECT_NE(rowText.find('3'), std::string::npos) << language;
        EXPECT_EQ(rowText.find("%1"), std::string::npos) << language;
        EXPECT_TRUE(isFinalRowText(rowText, "")) << language;
    }
}

TEST_F(StatusTable, DeviceErrorShowsTheCodeRecordedForTheDevicesTransfer)
{
    tables.setTransferId(kMac, 77);
    tables.setErrorCode(kMac, 77, -5);
    tables.setTransferId("AA:BB:CC:DD:EE:FF", 78);
    tables.setErrorCode("AA:BB:CC:DD:EE:FF", 78, -9);

    const StatusEffect effect = statusEffect(
        record(DeviceStatus::DeviceError, encodeResultCode(-9)), OperationType::ImportData, tables);
    ASSERT_TRUE(effect.rowText);
    EXPECT_EQ(*effect.rowText, "The picture must show exactly one face")
        << "the record's own data is not what decides";
    EXPECT_TRUE(effect.final);
    EXPECT_TRUE(isFinalRowText(*effect.rowText, deviceErrorText(tables, kMac)));
    EXPECT_FALSE(isFinalRowText(*effect.rowText, deviceErrorText(tables, "AA:BB:CC:DD:EE:FF")))
        << "another device's error text is not final for this row";
}

TEST_F(StatusTable, DeviceErrorWithNothingRecordedShowsUnknownErrorAndIsFinal)
{
    const StatusEffect effect =
        statusEffect(record(DeviceStatus::DeviceError), OperationType::ExportData, tables);
    ASSERT_TRUE(effect.rowText);
    EXPECT_EQ(*effect.rowText, "Unknown error");
    EXPECT_TRUE(effect.final);
    EXPECT_TRUE(isFinalRowText(*effect.rowText, deviceErrorText(tables, kMac)));
}

TEST_F(StatusTable, ProgressShowsItsTextAndTheHeaderOnlyForDataFileExport)
{
    const auto data = encodeProgress(exportHeader(), "37.50%");
    for (const OperationType operation : kAllOperations) {
        const StatusEffect effect =
            statusEffect(record(DeviceStatus::Progress, data), operation, tables);
        ASSERT_TRUE(effect.rowText);
        EXPECT_EQ(*effect.rowText, "37.50%");
        EXPECT_EQ(effect.progress, 37.5);
        EXPECT_FALSE(effect.final);
        EXPECT_FALSE(isFinalRowText(*effect.rowText, deviceErrorText(tables, kMac)));
        EXPECT_EQ(effect.panes.has_value(), operation == OperationType::ExportData);
        if (effect.panes) {
            EXPECT_EQ(*effect.panes, summaryPanes(exportHeader()));
        }
    }
}

TEST_F(StatusTable, ProgressWithoutAWholeHeaderChangesNothing)
{
    const StatusEffect effect =
        statusEffect(record(DeviceStatus::Progress, std::vector<std::uint8_t>(55, 0)),
                     OperationType::ExportData, tables);
    EXPECT_FALSE(effect.rowText);
    EXPECT_FALSE(effect.panes);
}

TEST_F(StatusTable, BatchAddFailureCarriesTheSummaryBox)
{
    const auto data = encodeBatchSummary("Succeeded:3 Failed:2", "/opt/galvorn/log/x.log");
    const StatusEffect batch =
        statusEffect(record(DeviceStatus::ImportFail, data), OperationType::BatchAdd, tables);
    EXPECT_EQ(batch.rowText, "Import failed");
    EXPECT_TRUE(batch.final);
    ASSERT_TRUE(batch.batchSummary);
    EXPECT_EQ(batch.batchSummary->summary, "Succeeded:3 Failed:2");
    EXPECT_EQ(batch.batchSummary->logPath, "/opt/galvorn/log/x.log");

    const StatusEffect import =
        statusEffect(record(DeviceStatus::ImportFail, data), OperationType::ImportData, tables);
    EXPECT_EQ(import.rowText, "Import failed");
    EXPECT_FALSE(import.batchSummary);

    auto damaged = data;
    damaged.pop_back();
    const StatusEffect bad =
        statusEffect(record(DeviceStatus::ImportFail, damaged), OperationType::BatchAdd, tables);
    EXPECT_EQ(bad.rowText, "Import failed");
    EXPECT_FALSE(bad.batchSummary) << "data of the wrong length is not shown";
}

TEST_F(StatusTable, CodesOutsideFiveToFifteenHaveNoEffect)
{
    const auto progress = encodeProgress(exportHeader(), "50.00%");
    for (const tuint32 status : {0u, 1u, 2u, 3u, 4u, 16u, 17u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        for (const OperationType operation : kAllOperations) {
            const StatusEffect effect = statusEffect(record(status, progress), operation, tables);
            EXPECT_FALSE(effect.rowText) << status;
            EXPECT_FALSE(effect.final) << status;
            EXPECT_FALSE(effect.panes) << status;
            EXPECT_FALSE(effect.batchSummary) << status;
        }
    }
}

TEST_F(StatusTable, OnlyFinalTextsEndARow)
{
    const std::string notFinal[] = {
        "",
        "Connecting...",
        "0.00%",
        "100.00%",
        "Login failed ()",
        "Login failed (3x)",
        "Login failed (3",
        "Failed (3)",
        "Face recognition is not running",
    };
    for (const std::string& rowText : notFinal)
        EXPECT_FALSE(isFinalRowText(rowText, "")) << rowText;
    EXPECT_TRUE(
        isFinalRowText("Face recognition is not running", "Face recognition is not running"));
    EXPECT_FALSE(isFinalRowText("", "")) << "an empty error text matches nothing";
}

TEST(ProgressText, TwoDecimalsNeverDividingByZero)
{
    struct Case
    {
        std::uint64_t done;
        std::uint64_t total;
        bool complete;
        const char* expected;
    };
    const Case cases[] = {
        {0, 0, false, "0.00%"},
        {0, 0, true, "100.00%"},
        {3, 8, false, "37.50%"},
        {1, 3, false, "33.33%"},
        {2, 3, false, "66.67%"},
        {8, 8, true, "100.00%"},
        {9, 8, false, "100.00%"},
        {0, 5, false, "0.00%"},
        {61440, 184376, false, "33.32%"},
        {std::numeric_limits<std::uint64_t>::max() / 2, std::numeric_limits<std::uint64_t>::max(),
         false, "50.00%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(progressText(c.done, c.total, c.complete), c.expected)
            << c.done << "/" << c.total;
        // The share read back is the one written, to the two decimals shown.
        const double written = c.total == 0 ? (c.complete ? 100.0 : 0.0)
                                            : std::min(1.0, double(c.done) / double(c.total)) * 100;
        const auto read = progressPercent(progressText(c.done, c.total, c.complete));
        ASSERT_TRUE(read) << c.expected;
        EXPECT_NEAR(*read, written, 0.005) << c.expected;
    }
}

TEST(ProgressText, OtherTextsShowNoShare)
{
    for (const char* text : {"", "%", "37.50", "37.50 %", " 37.50%", "-1.00%", "100.01%", "1e2%",
                             "0x10%", "37.50%%", "nan%", "inf%", "Connecting..."})
        EXPECT_FALSE(progressPercent(text)) << text;
    EXPECT_EQ(progressPercent("0%"), 0.0);
    EXPECT_EQ(progressPercent("100.00%"), 100.0);
}

TEST(StatusPayload, ResultCodeIsFourLittleEndianBytes)
{
    EXPECT_EQ(encodeResultCode(-7), (std::vector<std::uint8_t>{0xF9, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(decodeResultCode(std::vector<std::uint8_t>{0x02, 0x01, 0x00, 0x00}), 0x102);
    for (std::size_t size : {0u, 3u, 5u, 8u})
        EXPECT_FALSE(decodeResultCode(std::vector<std::uint8_t>(size, 1))) << size;
}

TEST(StatusPayload, ProgressIsTheHeaderThenTheText)
{
    const auto data = encodeProgress(exportHeader(), "12.50%");
    const auto header = facefile::encodeHeader(exportHeader());
    ASSERT_EQ(data.size(), facefile::kHeaderSize + 6);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), data.begin()));
    EXPECT_EQ(std::string(data.begin() + facefile::kHeaderSize, data.end()), "12.50%");

    const auto report = decodeProgress(data);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->header, exportHeader());
    EXPECT_EQ(report->text, "12.50%");
    EXPECT_EQ(decodeProgress(std::span(data).first(facefile::kHeaderSize))->text, "");
    EXPECT_FALSE(decodeProgress(std::span(data).first(facefile::kHeaderSize - 1)));
}

TEST(StatusPayload, BatchSummaryIsTwoLengthsThenTheTexts)
{
    const std::vector<std::uint8_t> expected{2, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', '/', 'l', 'g'};
    EXPECT_EQ(encodeBatchSummary("ab", "/lg"), expected);
    const auto decoded = decodeBatchSummary(expected);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->summary, "ab");
    EXPECT_EQ(decoded->logPath, "/lg");

    auto longer = expected;
    longer.push_back('x');
    EXPECT_FALSE(decodeBatchSummary(longer));
    EXPECT_FALSE(decodeBatchSummary(std::span(expected).first(expected.size() - 1)));
    EXPECT_FALSE(decodeBatchSummary(std::span(expected).first(7)));
    const std::vector<std::uint8_t> huge{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'};
    EXPECT_FALSE(decodeBatchSummary(huge)) << "the lengths must not wrap around";
    EXPECT_TRUE(decodeBatchSummary(encodeBatchSummary("", "")));
}

class SummaryPaneTexts : public WithLanguage
{};

TEST_F(SummaryPaneTexts, HeaderFieldsInTheirPanes)
{
    const SummaryPanes panes = summaryPanes(exportHeader());
    EXPECT_EQ(panes.left, "\tLibrary size (bytes):5000\r\n\r\n"
                          "\tTotal persons:1234\r\n\r\n"
                          "\tUpdate date:2024-03-05");
    EXPECT_EQ(panes.right, "Stranger:200\r\n\r\nWhitelist:1000\r\n\r\nBlacklist:34");

    facefile::Header odd;
    odd.librarySize = 0x80000000;
    odd.personCount = 0xFFFFFFFF;
    const SummaryPanes oddPanes = summaryPanes(odd);
    EXPECT_NE(oddPanes.left.find(":-2147483648\r\n"), std::string::npos) << "size is signed";
    EXPECT_NE(oddPanes.left.find(":4294967295\r\n"), std::string::npos) << "counts are unsigned";
}

TEST_F(SummaryPaneTexts, EmptyPanesShowDashes)
{
    const SummaryPanes panes = emptySummaryPanes();
    EXPECT_EQ(panes.left, "\tLibrary size (bytes):--\r\n\r\n"
                          "\tTotal persons:--\r\n\r\n"
                          "\tUpdate date:--");
    EXPECT_EQ(panes.right, "Stranger:--\r\n\r\nWhitelist:--\r\n\r\nBlacklist:--");
}

TEST(TextField, CutsAtACharacterBoundaryAndKeepsTheTerminator)
{
    std::array<char, 20> field;
    field.fill('x');
    setFieldText(field, "abc");
    EXPECT_EQ(fieldText(field), "abc");
    EXPECT_TRUE(std::all_of(field.begin() + 3, field.end(), [](char c) { return c == '\0'; }));

    setFieldText(field, std::string(19, 'a'));
    EXPECT_EQ(fieldText(field), std::string(19, 'a'));
    setFieldText(field, std::string(20, 'a'));
    EXPECT_EQ(fieldText(field), std::string(19, 'a'));
    EXPECT_EQ(field[19], '\0');

    // 18 bytes, then a two-byte character that would need bytes 19 and 20.
    setFieldText(field, std::string(18, 'a') + "é");
    EXPECT_EQ(fieldText(field), std::string(18, 'a'));
    // Six three-byte characters fill 18 bytes; the seventh does not fit.
    setFieldText(field, "管理员用户名称");
    EXPECT_EQ(fieldText(field), "管理员用户名");
}

namespace {

class RecordingSink : public StatusSink
{
public:
    void postStatus(std::unique_ptr<CallbackInfo> info) override
    {
        const std::lock_guard guard(lock);
        records.push_back(std::move(info));
    }

    std::mutex lock;
    std::deque<std::unique_ptr<CallbackInfo>> records;
};

} // namespace

TEST(PostDeviceStatus, HandsTheSinkACopyOfTextsAndData)
{
    RecordingSink sink;
    std::vector<std::uint8_t> data{1, 2, 3};
    std::string mac = kMac;
    PostDeviceStatus(&sink, DeviceStatus::LoginFail, kIp, mac, data);
    data[0] = 9;
    mac[0] = 'Z';
    ASSERT_EQ(sink.records.size(), 1u);
    const CallbackInfo& info = *sink.records.front();
    EXPECT_EQ(info.status, 9u);
    EXPECT_EQ(fieldText(info.mac), kMac);
    EXPECT_EQ(fieldText(info.ip), kIp);
    EXPECT_EQ(info.data, (std::vector<std::uint8_t>{1, 2, 3}));

    PostDeviceStatus(&sink, DeviceStatus::Success, kIp, kMac);
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_TRUE(sink.records.back()->data.empty());

    PostDeviceStatus(nullptr, DeviceStatus::Success, kIp, kMac);
}

TEST(PostDeviceStatus, OverlongTextsAreCutToTheirFields)
{
    const auto info =
        makeCallbackInfo(DeviceStatus::Connecting, "255.255.255.255.255", std::string(70, 'm'));
    EXPECT_EQ(fieldText(info->ip), "255.255.255.255");
    EXPECT_EQ(fieldText(info->mac), std::string(63, 'm'));
}

TEST(TransferTables, DeviceErrorFollowsTheDevicesLatestTransfer)
{
    TransferTables tables;
    EXPECT_EQ(tables.errorCodeOfDevice(kMac), 0);
    EXPECT_FALSE(tables.transferId(kMac));

    tables.setTransferId(kMac, 5);
    tables.setErrorCode(kMac, 5, -10);
    EXPECT_EQ(tables.transferId(kMac), 5u);
    EXPECT_EQ(tables.errorCodeOfDevice(kMac), -10);

    tables.setTransferId(kMac, 6);
    EXPECT_EQ(tables.errorCodeOfDevice(kMac), 0) << "the new transfer has no error yet";
    EXPECT_EQ(tables.errorCode(kMac, 5), -10) << "entries stay after their transfer";
    tables.setErrorCode(kMac, 6, -13);
    EXPECT_EQ(tables.errorCodeOfDevice(kMac), -13);
    EXPECT_EQ(tables.errorCodeOfDevice("12:34:56:78:9a:bc"), 0) << "keys are exact";

    tables.clear();
    EXPECT_EQ(tables.errorCodeOfDevice(kMac), 0);
    EXPECT_EQ(tables.errorCode(kMac, 6), 0);
}
