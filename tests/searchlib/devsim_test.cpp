// The simulator's configuration file and answer document, without a network.

#include "tools/devsim/cameraprofile.h"
#include "tools/devsim/devsimconfig.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

namespace galvorn::devsim {
namespace {

TEST(DevsimConfig, ReadsCamerasWithDefaultsAndOverrides)
{
    const char* text = "# two cameras\n"
                       "[camera]\n"
                       "mac = 00:1a:2b:00:00:01\n"
                       "bind = 192.0.2.11\n"
                       "  devName =  Front door  \n"
                       "\n"
                       "[camera]\n"
                       "mac = 00:1A:2B:00:00:02\n"
                       "ip = 198.51.100.7\n"
                       "productSeries = VRN_NVR\n";
    DevsimConfig config;
    std::string error;
    ASSERT_TRUE(parseDevsimConfig(text, config, error)) << error;
    ASSERT_EQ(config.cameras.size(), 2u);

    const CameraProfile& first = config.cameras[0];
    EXPECT_EQ(first.mac.text(), "00:1A:2B:00:00:01");
    EXPECT_EQ(first.bindAddress, 0xC000020Bu);
    EXPECT_EQ(first.value(Field::DevName), "Front door");
    EXPECT_EQ(first.value(Field::Ip), "192.0.2.11");
    EXPECT_EQ(first.value(Field::ProductSeries), "VRN_IPC");

    const CameraProfile& second = config.cameras[1];
    EXPECT_EQ(second.bindAddress, 0xC6336407u);
    EXPECT_EQ(second.value(Field::ProductSeries), "VRN_NVR");
}

TEST(DevsimConfig, RefusesFaultsWithTheirLine)
{
    const std::pair<const char*, const char*> rows[] = {
        {"", "no [camera] section"},
        {"mac = 00:1A:2B:00:00:01\n", "line 1: key outside a [camera] section"},
        {"[camera]\nbind = 192.0.2.1\n", "line 1: camera without mac"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\n",
         "line 1: camera 00:1A:2B:00:00:01 has neither bind nor ip"},
        {"[camera]\nmac = 01:00:5E:00:00:01\n", "line 2: not a unicast MAC address"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2\n",
         "line 3: bind is not a dotted IPv4 address"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\nhttpPort = 65536\n",
         "line 4: not a port number"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\nmask2 = 255.255.0\n",
         "line 4: not a dotted IPv4 address"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\nrunningTime = -1\n",
         "line 4: not a number of seconds"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\nflavour = mint\n",
         "line 4: unknown field \"flavour\""},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\njust words\n",
         "line 4: expected [camera] or key = value"},
        {"[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\n[camera]\nmac = "
         "00:1a:2b:00:00:01\nbind = 192.0.2.2\n",
         "line 4: duplicate mac 00:1A:2B:00:00:01"},
    };
    for (const auto& [text, expected] : rows) {
        DevsimConfig config;
        std::string error;
        EXPECT_FALSE(parseDevsimConfig(text, config, error)) << text;
        EXPECT_EQ(error, expected) << text;
    }
}

TEST(DevsimConfig, RefusesOverlongValues)
{
    const std::string text = "[camera]\nmac = 00:1A:2B:00:00:01\nbind = 192.0.2.1\ndevName = " +
                             std::string(kMaxFieldLength + 1, 'n') + "\n";
    DevsimConfig config;
    std::string error;
    EXPECT_FALSE(parseDevsimConfig(text, config, error));
    EXPECT_EQ(error, "line 4: value longer than 255 characters");
}

// Reads the answer document back with an independent parser.
struct ParsedAnswer
{
    pugi::xml_document doc;
    bool ok = false;
    explicit ParsedAnswer(const std::string& xml) { ok = bool(doc.load_string(xml.c_str())); }
    std::string text(const char* path) const
    {
        return doc.select_node(path).node().text().as_string();
    }
};

TEST(DevsimAnswer, CarriesEveryFieldUnderTheNamesTheReadersMatch)
{
    CameraProfile profile;
    const std::pair<const char*, const char*> fields[] = {
        {"productSeries", "VRN_NVR"},
        {"devName", "Yard & <gate>"},
        {"productModel", "NVR-3216"},
        {"softwareVer", "3.3.2"},
        {"build", "2207"},
        {"softwareBuildDate", "2022-07-01"},
        {"hardwareVer", "B1"},
        {"kernelVer", "4.19"},
        {"bootTime", "2024-05-01 09:00:00"},
        {"ip", "192.0.2.21"},
        {"mask", "255.255.255.0"},
        {"route", "192.0.2.1"},
        {"dhcpSwitch", "true"},
        {"ip2", "198.51.100.21"},
        {"mask2", "255.255.255.0"},
        {"dns1", "192.0.2.53"},
        {"dns2", "198.51.100.53"},
        {"dataPort", "9008"},
        {"httpPort", "8080"},
        {"rtspPort", "8554"},
    };
    for (const auto& [key, value] : fields)
        ASSERT_EQ(profile.set(key, value), "") << key;

    const ParsedAnswer answer(profile.answerXml(4711, AnswerMode::Normal));
    ASSERT_TRUE(answer.ok);
    const std::pair<const char*, const char*> expected[] = {
        {"/multicastSearchResult/productInfo/productSeries", "VRN_NVR"},
        {"/multicastSearchResult/productInfo/devName", "Yard & <gate>"},
        {"/multicastSearchResult/productInfo/productModel", "NVR-3216"},
        {"/multicastSearchResult/productInfo/softwareVer", "3.3.2"},
        {"/multicastSearchResult/productInfo/build", "2207"},
        {"/multicastSearchResult/productInfo/softwareBulildDate", "2022-07-01"},
        {"/multicastSearchResult/productInfo/hardwareVer", "B1"},
        {"/multicastSearchResult/productInfo/kernelVer", "4.19"},
        {"/multicastSearchResult/productInfo/runningTime", "4711"},
        {"/multicastSearchResult/productInfo/bootTime", "2024-05-01 09:00:00"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[1]/ip", "192.0.2.21"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[1]/mask", "255.255.255.0"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[1]/route", "192.0.2.1"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[1]/dhcpSwitch", "true"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[2]/ip", "198.51.100.21"},
        {"/multicastSearchResult/tcpIp/ipAddr/item[2]/mask", "255.255.255.0"},
        {"/multicastSearchResult/tcpIp/dns1", "192.0.2.53"},
        {"/multicastSearchResult/tcpIp/dns2", "198.51.100.53"},
        {"/multicastSearchResult/port/dataPort", "9008"},
        {"/multicastSearchResult/port/httpPort", "8080"},
        {"/multicastSearchResult/port/rtspPort", "8554"},
    };
    for (const auto& [path, value] : expected)
        EXPECT_EQ(answer.text(path), value) << path;
}

TEST(DevsimAnswer, ModesGiveForeignAndMalformedDocuments)
{
    const CameraProfile profile;
    const ParsedAnswer foreign(profile.answerXml(1, AnswerMode::Foreign));
    ASSERT_TRUE(foreign.ok);
    EXPECT_STREQ(foreign.doc.document_element().name(), "deviceSearchResult");
    EXPECT_EQ(foreign.text("/deviceSearchResult/productInfo/productSeries"), "VRN_IPC");

    const ParsedAnswer malformed(profile.answerXml(1, AnswerMode::Malformed));
    EXPECT_FALSE(malformed.ok);
}

} // namespace
} // namespace galvorn::devsim
