#include "tools/devsim/deviceface_config.h"

#include <gtest/gtest.h>

using namespace galvorn::devsim;

namespace {

TEST(DeviceFaceConfig, KeysSetTheirFields)
{
    DeviceFaceSettings settings;
    const std::vector<std::pair<const char*, const char*>> lines = {
        {"device.version", "4"},         {"device.cipher", "0x10000"},
        {"device.key", "a1b2c3d4"},      {"device.challenge", "16777215"},
        {"device.passwordMode", "2"},    {"device.user", "op"},
        {"device.password", "pw word"},  {"device.greeting", "short:10"},
        {"device.maxConnections", "3"},  {"device.refuseLogin", "13"},
        {"device.fragmentSize", "1024"}, {"device.fragmentChannel", "2"},
        {"device.noReply", "yes"},       {"device.closeAfter", "5"},
        {"device.badMagic", "on"},       {"device.replyDelayUs", "500"},
        {"device.unknownReply", "1"},    {"device.ignoreCommand", "0x2005"},
        {"device.record", "/tmp/x.log"}, {"device.answerKeepAlives", "no"},
    };
    for (const auto& [key, value] : lines)
        EXPECT_EQ(setDeviceFaceKey(settings, key, value), "") << key;
    EXPECT_EQ(settings.protocolVersion, 4u);
    EXPECT_EQ(settings.account.cipherType, 0x10000u);
    EXPECT_EQ(settings.account.cipherKey, (std::array<std::uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(settings.account.challenge, 0xFFFFFFu);
    EXPECT_EQ(settings.account.passwordMode, 2);
    EXPECT_EQ(settings.account.user, "op");
    EXPECT_EQ(settings.account.password, "pw word");
    EXPECT_EQ(settings.greetingFault, GreetingFault::Short);
    EXPECT_EQ(settings.greetingLength, 10u);
    EXPECT_EQ(settings.maxConnections, 3u);
    EXPECT_EQ(settings.refuseEveryLogin, 13u);
    EXPECT_EQ(settings.fragmentSize, 1024u);
    EXPECT_EQ(settings.fragmentChannel, 2u);
    EXPECT_TRUE(settings.noReply);
    EXPECT_EQ(settings.closeAfterMessages, 5u);
    EXPECT_TRUE(settings.badMagic);
    EXPECT_EQ(settings.replyDelayUs, 500u);
    EXPECT_TRUE(settings.unknownReplyId);
    EXPECT_EQ(settings.ignoreCommand, 0x2005u);
    EXPECT_EQ(settings.recordPath, "/tmp/x.log");
    EXPECT_FALSE(settings.answerKeepAlives);
}

TEST(DeviceFaceConfig, BadKeysAndValuesAreRefused)
{
    DeviceFaceSettings settings;
    const DeviceFaceSettings before = settings;
    const std::vector<std::pair<const char*, const char*>> lines = {
        {"device.unknown", "1"},
        {"version", "3"},
        {"device.version", "three"},
        {"device.version", ""},
        {"device.challenge", "16777216"},
        {"device.key", "a1b2c3"},
        {"device.key", "a1b2c3zz"},
        {"device.greeting", "short:64"},
        {"device.greeting", "long"},
        {"device.fragmentChannel", "3"},
        {"device.noReply", "maybe"},
        {"device.passwordMode", "256"},
        {"device.record", ""},
    };
    for (const auto& [key, value] : lines)
        EXPECT_NE(setDeviceFaceKey(settings, key, value), "") << key << " = " << value;
    EXPECT_EQ(settings.protocolVersion, before.protocolVersion);
    EXPECT_EQ(settings.account.challenge, before.account.challenge);
    EXPECT_EQ(settings.greetingFault, GreetingFault::None);
}

} // namespace
