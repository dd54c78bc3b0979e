#include "device/commandids.h"
#include "device/loginmessage.h"
#include "testkit/tempdir.h"
#include "tests/common/loopback.h"
#include "tests/device/facethread.h"
#include "tests/device/sessionhelper.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace galvorn::device;
using galvorn::devsim::DeviceFaceSettings;
using galvorn::devsim::GreetingFault;

namespace {

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        recording_ = temp_.file("session.log");
        settings_.recordPath = recording_;
        settings_.mac = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    }

    std::unique_ptr<FaceThread> startFace()
    {
        auto face = std::make_unique<FaceThread>(settings_);
        EXPECT_TRUE(face->opened()) << face->error();
        return face;
    }

    std::vector<Recorded> recorded() const { return readRecording(recording_); }

    DeviceFaceSettings settings_;
    const TempDir temp_;
    std::string recording_;
    Owner owner_;
};

struct ModeRow
{
    const char* name;
    tuint32 cipherType;
    std::uint8_t passwordMode;
    const char* mode;
};

TEST_F(Session, LogsInInEveryMode)
{
    const std::vector<ModeRow> rows = {
        {"plain", 0, 0, "plain"},
        {"xor", 0x10000, 0, "xor"},
        {"digest", 0, 1, "digest"},
        {"digest with scrambled user", 0, 2, "digest-scrambled"},
        {"unregistered cipher", 0x20000, 0, "unencoded"},
    };
    for (const ModeRow& row : rows) {
        settings_.account.cipherType = row.cipherType;
        settings_.account.passwordMode = row.passwordMode;
        settings_.account.user = "operator";
        settings_.account.password = "s3cret\xC3\xA9";
        const auto face = startFace();
        Opened opened = openSession(face->port(), owner_, "operator", "s3cret\xC3\xA9");
        ASSERT_EQ(opened.stage, Stage::Done) << row.name << " code " << opened.code;
        EXPECT_EQ(opened.session->ConnectionState(), kDeviceOnline) << row.name;
        EXPECT_EQ(opened.info.bytes52To57, settings_.mac) << row.name;
        const Recorded login = recorded().back();
        EXPECT_EQ(login.at("name"), "CMD_LOGIN");
        EXPECT_EQ(login.at("mode"), row.mode) << row.name;
        EXPECT_EQ(login.at("user"), "operator") << row.name;
        EXPECT_EQ(login.at("verdict"), "accepted") << row.name;
    }
}

TEST_F(Session, TheLoginCarriesTheMacOfTheAdapterItLeavesFrom)
{
    testnet::TestInterface adapter("gvsess0", "02:00:5e:44:55:66", "198.51.100.8/24");
    ASSERT_TRUE(adapter.ok());
    settings_.bindAddress = 0xC6336408;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_, "admin", "123456", "198.51.100.8");
    ASSERT_EQ(opened.stage, Stage::Done) << opened.code;
    EXPECT_EQ(recorded().back().at("mac"), "02:00:5e:44:55:66");

    settings_.bindAddress = 0;
    const auto loopbackFace = startFace();
    Opened overLoopback = openSession(loopbackFace->port(), owner_);
    ASSERT_EQ(overLoopback.stage, Stage::Done);
    EXPECT_EQ(recorded().back().at("mac"), "00:00:00:00:00:00");
}

TEST_F(Session, RefusalsMapToTheirResults)
{
    struct Row
    {
        const char* name;
        tuint32 refuseWith;
        const char* password;
        int result;
    };
    const std::vector<Row> rows = {
        {"wrong password", 0, "wrong", LoginResult::kWrongCredentials},
        {"code 2", 2, "123456", 1},
        {"code 3", 3, "123456", 6},
        {"code 4", 4, "123456", 6},
        {"code 13", 13, "123456", 5},
        {"code 7", 7, "123456", 7},
        {"code 1", 1, "123456", 1},
    };
    for (const Row& row : rows) {
        settings_.refuseEveryLogin = row.refuseWith;
        const auto face = startFace();
        Opened opened = openSession(face->port(), owner_, "admin", row.password);
        EXPECT_EQ(opened.stage, Stage::Login) << row.name;
        EXPECT_EQ(opened.code, row.result) << row.name;
        EXPECT_EQ(opened.session->ConnectionState(), kDeviceOffline) << row.name;
    }
}

TEST_F(Session, TheConnectionLimitRefusesTheNextLogin)
{
    settings_.maxConnections = 1;
    const auto face = startFace();
    Opened first = openSession(face->port(), owner_);
    ASSERT_EQ(first.stage, Stage::Done);
    Opened second = openSession(face->port(), owner_);
    EXPECT_EQ(second.stage, Stage::Login);
    EXPECT_EQ(second.code, LoginResult::kNoMoreConnections);
}

TEST_F(Session, AnUnknownLoginReplyIsAFailure)
{
    settings_.unknownReplyId = true;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    EXPECT_EQ(opened.stage, Stage::Login);
    EXPECT_EQ(opened.code, LoginResult::kNoAnswer);
    EXPECT_EQ(opened.session->ConnectionState(), kDeviceOffline);
}

TEST_F(Session, BadMagicEndsTheLoginWithoutAnAnswer)
{
    settings_.badMagic = true;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    EXPECT_EQ(opened.stage, Stage::Login);
    EXPECT_EQ(opened.code, LoginResult::kNoAnswer);
}

TEST_F(Session, ACameraThatClosesDuringLoginIsReportedLost)
{
    settings_.closeAfterMessages = 1;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    EXPECT_EQ(opened.stage, Stage::Login);
    EXPECT_EQ(opened.code, LoginResult::kNoAnswer);
    EXPECT_TRUE(owner_.waitFor(CALLBACK_LINK_LOST));
}

TEST_F(Session, OnlyKeepAlivesAfterTheLoginRequestGiveNoAnswerAfterTheLoginLimit)
{
    EXPECT_EQ(SessionLimits{}.loginReplyMs, 20000u);
    // Keep-alives come every second, so the limit outlasts a few of them.
    SessionLimits limits;
    limits.loginReplyMs = 2500;
    settings_.noReply = true;
    const auto face = startFace();
    const auto start = testnet::Clock::now();
    Opened opened = openSession(face->port(), owner_, "admin", "123456", "127.0.0.1", limits);
    EXPECT_EQ(opened.stage, Stage::Login);
    EXPECT_EQ(opened.code, LoginResult::kNoAnswer);
    EXPECT_GE(testnet::msSince(start), static_cast<long long>(limits.loginReplyMs));
    EXPECT_EQ(owner_.count(CALLBACK_LINK_LOST), 0);
}

TEST_F(Session, ShortOrMissingGreetingsEndTheConnection)
{
    constexpr std::uint32_t kGreetingMs = 400;
    struct Row
    {
        const char* name;
        GreetingFault fault;
        std::size_t length;
    };
    const std::vector<Row> rows = {
        {"missing", GreetingFault::Missing, 0},
        {"empty", GreetingFault::Short, 0},
        {"one byte", GreetingFault::Short, 1},
        {"63 bytes", GreetingFault::Short, 63},
    };
    for (const Row& row : rows) {
        settings_.greetingFault = row.fault;
        settings_.greetingLength = row.length;
        const auto face = startFace();
        const auto start = testnet::Clock::now();
        Opened opened =
            openSession(face->port(), owner_, "admin", "123456", "127.0.0.1", {}, kGreetingMs);
        EXPECT_EQ(opened.stage, Stage::Greeting) << row.name;
        EXPECT_EQ(opened.code, galvorn::common::LinkResult::kNothing) << row.name;
        EXPECT_GE(testnet::msSince(start), kGreetingMs - 50) << row.name;
    }
}

TEST_F(Session, GreetingsOfOtherVersionsMakeNoSession)
{
    for (const auto& [version, error] :
         std::vector<std::pair<tuint32, int>>{{2, CreateSessionError::kVersionTooLow},
                                              {0, CreateSessionError::kVersionTooLow},
                                              {4, CreateSessionError::kVersionTooHigh}}) {
        settings_.protocolVersion = version;
        const auto face = startFace();
        Opened opened = openSession(face->port(), owner_);
        EXPECT_EQ(opened.stage, Stage::Create) << version;
        EXPECT_EQ(opened.code, error) << version;
    }
}

TEST_F(Session, PeerCloseReachesTheOwnerAsLinkLost)
{
    settings_.closeAfterMessages = 2;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    ASSERT_EQ(opened.stage, Stage::Done);
    // The next request is the camera's last message.
    EXPECT_EQ(opened.session->Send0205(), 0);
    Owner::Call call;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_LINK_LOST, &call));
    EXPECT_EQ(call.session, opened.session.get());
    EXPECT_EQ(call.length, -1);
    EXPECT_TRUE(call.data.empty());
    EXPECT_EQ(call.parameter, 0u);
    EXPECT_EQ(opened.session->ConnectionState(), kDeviceOffline);
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(opened.session->Query0405(reply), DeviceResult::kNoAnswer);
}

TEST_F(Session, ReleaseIsNotReportedAsALoss)
{
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    ASSERT_EQ(opened.stage, Stage::Done);
    opened.session.reset();
    EXPECT_EQ(owner_.count(CALLBACK_LINK_LOST), 0);
}

TEST_F(Session, DeviceEventsReachTheOwner)
{
    settings_.eventsAfterLogin = true;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    ASSERT_EQ(opened.stage, Stage::Done);
    Owner::Call event;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_DEVICE_EVENT, &event));
    EXPECT_EQ(event.length, -1);
    const auto& words = event.event.words;
    EXPECT_EQ(words[2], 0u);
    EXPECT_EQ(words[3], 0x23u);
    EXPECT_EQ(words[5], 1700000000u);
    EXPECT_EQ(words[6], 16u);
    const tuint64 micros = 1700000000123456ull;
    EXPECT_EQ(words[7], static_cast<tuint32>(micros));
    EXPECT_EQ(words[8], static_cast<tuint32>(micros >> 32));
    EXPECT_EQ(words[9], 0x18u);
    EXPECT_EQ(words[10], 0x1Cu);
    EXPECT_EQ(words[11], 0x22u);
    EXPECT_EQ(words[12], 0x21u);
    EXPECT_EQ(words[13], 0x08u);
    EXPECT_EQ(words[14], 0x0Cu);
    EXPECT_EQ(event.eventData.size(), 16u);
    EXPECT_EQ(event.eventData.front(), 0xE0);

    Owner::Call data;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_EVENT_DATA, &data));
    EXPECT_EQ(data.length, 8);
    EXPECT_EQ(data.data,
              (std::vector<std::uint8_t>{0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7}));
}

TEST_F(Session, FragmentedRepliesOnBothChannelsArriveWhole)
{
    settings_.fragmentSize = 7;
    settings_.fragmentChannel = 2;
    settings_.keepAliveBetweenFragments = true;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    ASSERT_EQ(opened.stage, Stage::Done);
    for (int i = 0; i < 3; ++i) {
        std::vector<std::uint8_t> reply;
        ASSERT_EQ(opened.session->Query0405(reply), 0) << i;
        ASSERT_EQ(reply.size(), 96u) << i;
        EXPECT_EQ(reply[95], static_cast<std::uint8_t>(0x45 + 95)) << i;
    }
    ASSERT_EQ(opened.session->StartFaceTransfer(1, "pw"), 0);
    Owner::Call start;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_TRANSFER_START, &start));
    EXPECT_EQ(start.data, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(Session, SlowRepliesStillArrive)
{
    settings_.replyDelayUs = 200000;
    const auto face = startFace();
    Opened opened = openSession(face->port(), owner_);
    ASSERT_EQ(opened.stage, Stage::Done);
    tuint32 word = 0;
    EXPECT_EQ(opened.session->Query030D(word), 0);
    EXPECT_EQ(word, 0x302u);
}

TEST_F(Session, ReleaseWaitsForARequestInProgress)
{
    settings_.ignoreCommand = CMD_020E;
    const auto face = startFace();
    Opened waiting = openSession(face->port(), owner_);
    Opened released = openSession(face->port(), owner_);
    ASSERT_EQ(waiting.stage, Stage::Done);
    ASSERT_EQ(released.stage, Stage::Done);
    std::atomic<int> result{-1};
    std::thread request([&] {
        std::vector<std::uint8_t> reply;
        result = waiting.session->Query020E(reply);
    });
    // The request gate closes while the request waits for its answer.
    const auto start = testnet::Clock::now();
    while (RequestGate().IsSet() && testnet::msSince(start) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(RequestGate().IsSet());
    // Releasing the other session waits until the unanswered request has given up.
    released.session.reset();
    EXPECT_GE(testnet::msSince(start), SessionWaits::kShortStatusWaitMs - 500);
    request.join();
    EXPECT_EQ(result, DeviceResult::kTimedOut);
    EXPECT_TRUE(RequestGate().IsSet());
}

TEST_F(Session, ThirtyTwoSessionsLogInAtOnce)
{
    settings_.account.passwordMode = 2;
    settings_.eventsAfterLogin = true;
    const auto face = startFace();
    constexpr int kSessions = 32;
    std::vector<std::thread> workers;
    std::atomic<int> loggedIn{0};
    std::atomic<int> answered{0};
    for (int i = 0; i < kSessions; ++i) {
        workers.emplace_back([&] {
            Opened opened = openSession(face->port(), owner_);
            if (opened.stage != Stage::Done)
                return;
            ++loggedIn;
            std::vector<std::uint8_t> reply;
            if (opened.session->StartFaceTransfer(1, "pw") == 0 &&
                opened.session->Query0208(reply) == 0)
                ++answered;
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(loggedIn, kSessions);
    EXPECT_EQ(answered, kSessions);
    EXPECT_EQ(owner_.count(CALLBACK_DEVICE_EVENT), kSessions);
    EXPECT_EQ(owner_.count(CALLBACK_LINK_LOST), 0);
}

} // namespace
