#include "facelib/jobbuilder.h"
#include "facelib/textfield.h"
#include "platform/addressprep.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>

using namespace galvorn;

namespace {

// Network byte order, independent of the code under test.
tuint32 address(const char* text)
{
    return inet_addr(text);
}

DeviceRow row(std::string softwareVer)
{
    DeviceRow device;
    device.ipAddr = "192.0.2.10";
    device.ipAddr2 = "198.51.100.20";
    device.mac = "00:11:22:33:44:55";
    device.softwareVer = std::move(softwareVer);
    device.dataPort = 6036;
    device.httpPort = 80;
    return device;
}

RunInputs inputs()
{
    return {"admin", "secret", "/home/op/export", "library"};
}

struct AddressCase
{
    const char* softwareVer;
    const char* expected;
};

class ConnectAddressTest : public ::testing::TestWithParam<AddressCase>
{};

TEST_P(ConnectAddressTest, FirstAddressOnlyForVersionsContaining33)
{
    const tuint32 prepared = address("203.0.113.7");
    EXPECT_EQ(ConnectAddress(row(GetParam().softwareVer), prepared), address(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ConnectAddressTest,
    ::testing::Values(AddressCase{"V3.3.1.2", "192.0.2.10"}, AddressCase{"3.3", "192.0.2.10"},
                      AddressCase{"V1.3.3", "192.0.2.10"}, AddressCase{"V3.4.1", "203.0.113.7"},
                      AddressCase{"V3.30", "192.0.2.10"}, AddressCase{"V3-3", "203.0.113.7"},
                      AddressCase{"", "203.0.113.7"}));

TEST(ConnectAddress, UnreadableFirstAddressGivesNoAddress)
{
    DeviceRow device = row("V3.3.0");
    device.ipAddr = "192.0.2";
    EXPECT_EQ(ConnectAddress(device, address("203.0.113.7")), 0u);
}

TEST(BuildDeviceJob, CopiesTheRowAndTheInputs)
{
    const DeviceJob job = BuildDeviceJob(row("V4.0.1"), inputs(), 7, address("203.0.113.7"));
    EXPECT_EQ(job.index, 7u);
    EXPECT_EQ(job.ipAddress, address("203.0.113.7"));
    EXPECT_EQ(job.address2, address("198.51.100.20"));
    EXPECT_EQ(job.dataPort, 6036u);
    EXPECT_EQ(job.httpPort, 80u);
    EXPECT_EQ(job.owner, nullptr);
    EXPECT_EQ(fieldText(job.macAddress), "00:11:22:33:44:55");
    EXPECT_EQ(fieldText(job.softwareVersion), "V4.0.1");
    EXPECT_EQ(fieldText(job.userName), "admin");
    EXPECT_EQ(fieldText(job.password), "secret");
    EXPECT_EQ(job.path, "/home/op/export");
    EXPECT_EQ(fieldText(job.libraryPassword), "library");
}

TEST(BuildDeviceJob, MissingSecondAddressAndPortsBelowOneGiveZero)
{
    DeviceRow device = row("V4.0.1");
    device.ipAddr2.clear();
    device.dataPort = -1;
    device.httpPort = -80;
    const DeviceJob job = BuildDeviceJob(device, inputs(), 0, 0);
    EXPECT_EQ(job.address2, 0u);
    EXPECT_EQ(job.dataPort, 0u);
    EXPECT_EQ(job.httpPort, 0u);

    device.dataPort = 1;
    device.httpPort = 0;
    const DeviceJob lowest = BuildDeviceJob(device, inputs(), 0, 0);
    EXPECT_EQ(lowest.dataPort, 1u) << "the lowest port is a port";
    EXPECT_EQ(lowest.httpPort, 0u);
}

// Every text field keeps its terminating zero and is cut before a character that would
// not fit whole.
TEST(BuildDeviceJob, CutsTextsAtCharacterBoundaries)
{
    // 31 ASCII bytes, then a two-byte character: the field holds only the 31.
    const std::string credential = std::string(31, 'u') + "\xC3\xA9";
    // 18 bytes, then a three-byte character that needs bytes 19 to 21.
    const std::string key = std::string(18, 'k') + "\xE2\x82\xAC";
    // 17 bytes and a four-byte character.
    const std::string version = std::string(17, 'v') + "\xF0\x9F\x98\x80";
    // Fits exactly: 29 bytes and a two-byte character are 31 bytes.
    const std::string exact = std::string(29, 'p') + "\xC3\xA9";

    DeviceRow device = row(version);
    device.mac = key;
    RunInputs fields{credential, exact, std::string(300, 'd'), credential + "more"};
    const DeviceJob job = BuildDeviceJob(device, fields, 0, 0);

    EXPECT_EQ(fieldText(job.userName), std::string(31, 'u'));
    EXPECT_EQ(fieldText(job.password), exact);
    EXPECT_EQ(fieldText(job.libraryPassword), std::string(31, 'u'));
    EXPECT_EQ(fieldText(job.macAddress), std::string(18, 'k'));
    EXPECT_EQ(fieldText(job.softwareVersion), std::string(17, 'v'));
    EXPECT_EQ(job.userName.back(), '\0');
    EXPECT_EQ(job.password.back(), '\0');
    EXPECT_EQ(job.macAddress.back(), '\0');
    // The path is kept whole: a cut path would name another folder.
    EXPECT_EQ(job.path, std::string(300, 'd'));
}

// A version that contains "3.3" only beyond the field's 19 bytes still chooses by the
// row's whole text, not by the cut field.
TEST(BuildDeviceJob, ChoosesTheAddressByTheWholeVersionText)
{
    const DeviceJob job =
        BuildDeviceJob(row(std::string(25, 'x') + "3.3"), inputs(), 0, address("203.0.113.7"));
    EXPECT_EQ(job.ipAddress, address("192.0.2.10"));
}

TEST(IsLocalAddress, KnowsTheLoopbackAddressAndNotADocumentationAddress)
{
    EXPECT_TRUE(platform::IsLocalAddress(address("127.0.0.1")));
    EXPECT_FALSE(platform::IsLocalAddress(address("192.0.2.77")));
}

} // namespace
