#include "device/commandids.h"
#include "testkit/tempdir.h"
#include "tests/common/loopback.h"
#include "tests/device/facethread.h"
#include "tests/device/sessionhelper.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace galvorn::device;
using galvorn::devsim::DeviceFaceSettings;

namespace {

std::vector<std::uint8_t> filler(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i);
    return bytes;
}

class CommandSet : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        recording_ = temp_.file("commandset.log");
        DeviceFaceSettings settings;
        settings.recordPath = recording_;
        face_ = std::make_unique<FaceThread>(settings);
        ASSERT_TRUE(face_->opened()) << face_->error();
        opened_ = openSession(face_->port(), owner_);
        ASSERT_EQ(opened_.stage, Stage::Done) << opened_.code;
        session_ = opened_.session.get();
    }
    void TearDown() override
    {
        opened_.session.reset();
        face_.reset();
    }

    // The requests the camera recorded after the login, in order.
    std::vector<Recorded> requests() const
    {
        std::vector<Recorded> lines = readRecording(recording_);
        if (!lines.empty())
            lines.erase(lines.begin());
        return lines;
    }

    std::unique_ptr<FaceThread> face_;
    const TempDir temp_;
    std::string recording_;
    Owner owner_;
    Opened opened_;
    CNetDevice* session_ = nullptr;
};

// One request, what it must return, and what the camera must have received for it.
struct Row
{
    const char* name;
    std::function<int(CNetDevice&)> call;
    int result;
    const char* command;
    Recorded fields;
};

TEST_F(CommandSet, EveryRequestKeepsItsWireBehaviourAndResult)
{
    std::vector<std::uint8_t> reply;
    std::array<std::uint8_t, 260> answer{};
    tuint32 word = 0;
    const std::vector<Row> rows = {
        {"query 0x405", [&](CNetDevice& d) { return d.Query0405(reply); }, 0, "CMD_0405", {}},
        {"exchange 0x407",
         [&](CNetDevice& d) {
             return d.Exchange0407(std::vector<std::uint8_t>{5, 0, 0, 0, 6, 0, 0, 0}, reply);
         },
         0,
         "CMD_0407",
         {{"word0", "5"}, {"word1", "6"}}},
        {"send 0x408",
         [](CNetDevice& d) {
             return d.Send0408(std::vector<std::uint8_t>{9, 0, 0, 0});
         },
         0,
         "CMD_0408",
         {{"word0", "9"}}},
        {"query 0x20E", [&](CNetDevice& d) { return d.Query020E(reply); }, 0, "CMD_020E", {}},
        {"query 0x208", [&](CNetDevice& d) { return d.Query0208(reply); }, 0, "CMD_0208", {}},
        {"send 0x406", [](CNetDevice& d) { return d.Send0406(); }, 0, "CMD_0406", {}},
        {"query 0x401",
         [&](CNetDevice& d) {
             return d.Query0401(std::vector<std::uint8_t>{1, 0, 0, 0}, &reply);
         },
         0,
         "CMD_0401",
         {{"word0", "1"}}},
        {"request 0xA02",
         [](CNetDevice& d) {
             return d.StartProgressRequest(0, std::vector<std::uint8_t>{2, 0, 0, 0});
         },
         0,
         "CMD_0A02",
         {{"word0", "2"}}},
        {"request 0x801",
         [](CNetDevice& d) { return d.StartProgressRequest(1, {}); },
         0,
         "CMD_0801",
         {}},
        {"request 0x802",
         [](CNetDevice& d) { return d.StartProgressRequest(2, {}); },
         0,
         "CMD_0802",
         {}},
        {"request 0x804",
         [](CNetDevice& d) { return d.StartProgressRequest(3, {}); },
         0,
         "CMD_0804",
         {}},
        {"request 0x505", [](CNetDevice& d) { return d.Request0505(); }, 0, "CMD_0505", {}},
        {"send 0x205", [](CNetDevice& d) { return d.Send0205(); }, 0, "CMD_0205", {}},
        {"send 0x302", [](CNetDevice& d) { return d.Send0302(); }, 0, "CMD_0302", {}},
        {"request 0x701", [](CNetDevice& d) { return d.Request0701(); }, 0, "CMD_0701", {}},
        {"send 0x702",
         [](CNetDevice& d) {
             return d.Send0702(std::vector<std::uint8_t>{7, 7});
         },
         0,
         "CMD_0702",
         {{"word0", std::to_string(1 | 32 << 8 | 1 << 24)}}},
        {"send 0x703", [](CNetDevice& d) { return d.Send0703(); }, 0, "CMD_0703", {}},
        {"query 0x206", [&](CNetDevice& d) { return d.Query0206(answer); }, 0, "CMD_0206", {}},
        {"query 0x30D", [&](CNetDevice& d) { return d.Query030D(word); }, 0, "CMD_030D", {}},
        {"query 0x326", [&](CNetDevice& d) { return d.Query0326(word); }, 0, "CMD_0326", {}},
        {"query 0x328", [&](CNetDevice& d) { return d.Query0328(reply); }, 0, "CMD_0328", {}},
        {"send 0xC04",
         [](CNetDevice& d) { return d.Send0C04(0xC4); },
         0,
         "CMD_0C04",
         {{"word0", "196"}}},
        {"request 0xC05",
         [&](CNetDevice& d) {
             return d.Request0C05(std::vector<std::uint8_t>{3, 0, 0, 0}, word);
         },
         0,
         "CMD_0C05",
         {{"word0", "3"}}},
        {"query 0xC06", [&](CNetDevice& d) { return d.Query0C06(reply); }, 0, "CMD_0C06", {}},
        {"send 0xB02", [](CNetDevice& d) { return d.Send0B02(); }, 0, "CMD_0B02", {{"word0", "0"}}},
        {"send 0x602",
         [](CNetDevice& d) { return d.Send0602(); },
         0,
         "CMD_0602",
         {{"word0", "4"}, {"word1", "0"}, {"word2", "1"}}},
        {"send 0x30F",
         [](CNetDevice& d) { return d.Send030F(15); },
         0,
         "CMD_030F",
         {{"word0", "15"}}},
        {"query 0xD04", [](CNetDevice& d) { return d.Query0D04(); }, 0x20A, "CMD_0D04", {}},
        {"query 0x210",
         [](CNetDevice& d) {
             return d.Query0210(std::vector<std::uint8_t>{1, 0, 0, 0});
         },
         0x20C,
         "CMD_0210",
         {{"word0", "1"}}},
        {"face transfer start",
         [](CNetDevice& d) { return d.StartFaceTransfer(2, "library"); },
         0,
         "CMD_FACE_TRANSFER_START",
         {{"direction", "2"}, {"password", "library"}, {"length", "132"}}},
        {"face transfer end",
         [](CNetDevice& d) { return d.EndFaceTransfer(77); },
         0,
         "CMD_FACE_TRANSFER_END",
         {{"word0", "77"}}},
    };
    for (const Row& row : rows) {
        const std::size_t before = requests().size();
        EXPECT_EQ(row.call(*session_), row.result) << row.name;
        // Send-only requests return before the camera has read them; the next request
        // on the same connection is read after them, so a round trip settles the order.
        tuint32 settle = 0;
        ASSERT_EQ(session_->Query0326(settle), 0) << row.name;
        const std::vector<Recorded> lines = requests();
        ASSERT_EQ(lines.size(), before + 2) << row.name;
        const Recorded& line = lines[before];
        EXPECT_EQ(line.at("name"), row.command) << row.name;
        EXPECT_EQ(line.at("param"), "0") << row.name;
        for (const auto& [key, value] : row.fields) {
            ASSERT_TRUE(line.contains(key)) << row.name << " " << key;
            EXPECT_EQ(line.at(key), value) << row.name << " " << key;
        }
    }
}

TEST_F(CommandSet, StoredRepliesReachTheCaller)
{
    std::vector<std::uint8_t> reply;
    ASSERT_EQ(session_->Query0405(reply), 0);
    EXPECT_EQ(reply, filler(96, 0x45));
    ASSERT_EQ(session_->Exchange0407({}, reply), 0);
    EXPECT_EQ(reply, filler(40, 0x41));
    ASSERT_EQ(session_->Query0328(reply), 0);
    EXPECT_EQ(reply, filler(32, 0x03));
    ASSERT_EQ(session_->Query0C06(reply), 0);
    EXPECT_EQ(reply, filler(24, 0x0C));
    ASSERT_EQ(session_->Query0401({}, &reply), 0);
    EXPECT_EQ(reply, filler(48, 0x46));
    EXPECT_EQ(session_->Query0401({}, nullptr), 0);
    std::array<std::uint8_t, 260> answer{};
    ASSERT_EQ(session_->Query0206(answer), 0);
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), filler(260, 0x20).begin()));
    tuint32 word = 0;
    ASSERT_EQ(session_->Query030D(word), 0);
    EXPECT_EQ(word, 0x302u);
    ASSERT_EQ(session_->Query0326(word), 0);
    EXPECT_EQ(word, 0x304u);
    ASSERT_EQ(session_->Request0C05({}, word), 0);
    EXPECT_EQ(word, 0xC07u);
}

TEST_F(CommandSet, StreamsAreReferenceCounted)
{
    EXPECT_EQ(session_->OpenStream(1, 2), 0);
    EXPECT_EQ(session_->OpenStream(1, 2), 0);
    EXPECT_EQ(session_->CloseStream(1, 2), 0);
    EXPECT_EQ(session_->CloseStream(1, 2), 0);
    EXPECT_EQ(session_->CloseStream(1, 2), DeviceResult::kTimedOut);
    tuint32 settle = 0;
    ASSERT_EQ(session_->Query0326(settle), 0);
    const std::vector<Recorded> lines = requests();
    ASSERT_EQ(lines.size(), 4u);
    // The second open only refreshes the stream; only the last close reaches the device.
    EXPECT_EQ(lines[0].at("name"), "CMD_STREAM_OPEN");
    EXPECT_EQ(lines[0].at("byte0"), "1");
    EXPECT_EQ(lines[0].at("byte1"), "2");
    EXPECT_EQ(lines[1].at("name"), "CMD_STREAM_REFRESH");
    EXPECT_EQ(lines[1].at("byte0"), "2");
    EXPECT_EQ(lines[2].at("name"), "CMD_STREAM_CLOSE");
    EXPECT_EQ(lines[3].at("name"), "CMD_0326");
}

TEST_F(CommandSet, ChannelParametersGoOutInTheirByteOrder)
{
    ChannelTable table;
    session_->GetChannelParameters(table);
    for (const ChannelEntry& entry : table)
        EXPECT_EQ(entry, (ChannelEntry{128, 128, 128, 128, 128}));
    // Kind 2 stores into entry byte 3, which goes out as the third word.
    EXPECT_EQ(session_->SetChannelParameter(5, 2, 7, 0, 0), 0);
    session_->GetChannelParameters(table);
    EXPECT_EQ(table[5], (ChannelEntry{128, 128, 128, 7, 128}));
    EXPECT_EQ(session_->SetChannelParameter(5, 5, 0x0201, 0, 0), 0);
    EXPECT_EQ(session_->SetChannelParameter(5, 6, 0, 11, 12), 0);
    EXPECT_EQ(session_->SendChannelParameters(table, 64), DeviceResult::kBadArgument);
    EXPECT_EQ(session_->SetChannelParameter(5, 7, 0, 0, 0), DeviceResult::kBadArgument);
    tuint32 settle = 0;
    ASSERT_EQ(session_->Query0326(settle), 0);
    const std::vector<Recorded> lines = requests();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].at("name"), "CMD_CHANNEL_PARAMETERS");
    EXPECT_EQ(lines[0].at("word0"), "128");
    EXPECT_EQ(lines[0].at("word2"), "7");
    EXPECT_EQ(lines[1].at("name"), "CMD_0305");
    EXPECT_EQ(lines[1].at("word0"), std::to_string(5 | 1 << 8 | 2 << 16));
    EXPECT_EQ(lines[2].at("name"), "CMD_0303");
    EXPECT_EQ(lines[2].at("word1"), "11");
    EXPECT_EQ(lines[2].at("word2"), "12");
    // The camera's confirmation lands in channel 0, words 0, 1, 3, 2 into bytes 0 to 3.
    session_->GetChannelParameters(table);
    EXPECT_EQ(table[0], (ChannelEntry{128, 128, 128, 7, 128}));
}

TEST_F(CommandSet, ProgressIsReportedOncePerStep)
{
    int progress = -1;
    EXPECT_EQ(session_->PollProgress(progress), DeviceResult::kPending);
    EXPECT_EQ(session_->Start0504(), 0);
    // The camera answers with 0, then 50 and 100; its answers to one request come before
    // those to the next, so one round trip later the last of them is in.
    tuint32 settle = 0;
    ASSERT_EQ(session_->Query0326(settle), 0);
    EXPECT_EQ(session_->PollProgress(progress), 0);
    EXPECT_EQ(progress, 99);
    EXPECT_EQ(session_->PollProgress(progress), DeviceResult::kPending);
    // A progress request resets the progress to unknown until the camera answers.
    EXPECT_EQ(session_->StartProgressRequest(1, {}), 0);
    ASSERT_EQ(session_->Query0326(settle), 0);
    progress = -1;
    EXPECT_EQ(session_->PollProgress(progress), DeviceResult::kPending);
    EXPECT_EQ(progress, -1);
}

TEST_F(CommandSet, FaceLibraryRepliesReachTheOwnerWithTheirParameter)
{
    const std::vector<std::uint8_t> query(284, 0);
    ASSERT_EQ(session_->SendCommand(CMD_FACE_INFO_QUERY, query, 41), 0);
    ASSERT_EQ(session_->SendCommand(CMD_FACE_IMAGE_ADD, std::vector<std::uint8_t>(8, 1), 42), 0);
    ASSERT_EQ(session_->StartFaceTransfer(1, "pw"), 0);
    ASSERT_EQ(session_->SendCommand(CMD_FACE_EXPORT_DATA, std::vector<std::uint8_t>{1, 0, 0, 0}),
              0);
    ASSERT_EQ(session_->SendCommand(CMD_FACE_IMPORT_DATA, std::vector<std::uint8_t>(12, 0)), 0);
    ASSERT_EQ(session_->EndFaceTransfer(1), 0);
    Owner::Call call;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_INFO_QUERY, &call));
    EXPECT_EQ(call.parameter, 41u);
    EXPECT_EQ(call.data, std::vector<std::uint8_t>(8, 0));
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_IMAGE_ADD, &call));
    EXPECT_EQ(call.parameter, 42u);
    EXPECT_EQ(call.length, 4);
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_TRANSFER_START, &call));
    EXPECT_EQ(call.data, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_EXPORT_DATA, &call));
    EXPECT_EQ(call.length, 20);
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_IMPORT_DATA, &call));
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_TRANSFER_END, &call));
    EXPECT_EQ(call.data, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(CommandSet, AlarmRepliesCarryTheirKind)
{
    ASSERT_EQ(session_->Send0B01(), 0);
    Owner::Call call;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_0B0X, &call));
    EXPECT_EQ(call.length, 12);
    EXPECT_EQ(call.data, (std::vector<std::uint8_t>{128, 0, 0, 0, 0xB1, 0, 0, 0, 0xB2, 0, 0, 0}));
}

} // namespace
