#include "discovery/searchinfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>

namespace {

std::string document(const std::string& body)
{
    return "<multicastSearchResult>" + body + "</multicastSearchResult>";
}

// True when every byte of the field from the text's NUL to the end is zero.
template <std::size_t N>
bool zeroAfterText(const char (&field)[N])
{
    const std::size_t length = SearchText(field).size();
    return length < N && std::all_of(field + length, field + N, [](char c) { return c == 0; });
}

struct ParseCase
{
    const char* name;
    std::string xml;
    bool accepted;
    std::function<void(const SEARCH_INFO&)> check;
};

void none(const SEARCH_INFO&) {}

void PrintTo(const ParseCase& c, std::ostream* out)
{
    *out << c.name;
}

class ParseSearchResultTest : public testing::TestWithParam<ParseCase>
{};

TEST_P(ParseSearchResultTest, FillsTheRecord)
{
    const ParseCase& c = GetParam();
    SEARCH_INFO info{};
    info.status = SEARCH_STATUS_CHANGED;
    CopySearchText(info.mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(ParseSearchResult(c.xml, info), c.accepted);
    if (!c.accepted)
        return;
    // The caller's fields are the parser's to keep.
    EXPECT_EQ(info.status, SEARCH_STATUS_CHANGED);
    EXPECT_EQ(SearchText(info.mac), "AA:BB:CC:DD:EE:FF");
    c.check(info);
}

const std::string kTwoItems = "<tcpIp><ipAddr>"
                              "<item><ip>192.0.2.10</ip><mask>255.255.255.0</mask>"
                              "<route>192.0.2.1</route><dhcpSwitch>true</dhcpSwitch></item>"
                              "<item><ip>198.51.100.10</ip><mask>255.255.0.0</mask></item>"
                              "</ipAddr><dns1>203.0.113.1</dns1><dns2>203.0.113.2</dns2></tcpIp>";

std::string dhcp(const std::string& text)
{
    return document("<tcpIp><ipAddr><item><ip>192.0.2.10</ip><dhcpSwitch>" + text +
                    "</dhcpSwitch></item></ipAddr></tcpIp>");
}

std::string productInfo(const std::string& children)
{
    return document("<productInfo>" + children + "</productInfo>");
}

std::string ports(const std::string& children)
{
    return document("<port>" + children + "</port>");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ParseSearchResultTest,
    testing::Values(
        ParseCase{"NotWellFormed", "<multicastSearchResult><port>", false, none},
        ParseCase{"Empty", "", false, none},
        ParseCase{"OtherRoot", "<searchResult><port><dataPort>1</dataPort></port></searchResult>",
                  false, none},
        ParseCase{"RootNameIsCaseSensitive", "<MulticastSearchResult/>", false, none},
        ParseCase{"LowerCaseSeriesIsForeign", productInfo("<productSeries>vrn_ipc</productSeries>"),
                  false, none},
        ParseCase{"SeriesWithoutMarkIsForeign", productInfo("<productSeries>NVR_X</productSeries>"),
                  false, none},
        ParseCase{"MarkAnywhereInSeries", productInfo("<productSeries>XVRNY</productSeries>"), true,
                  [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.productSeries), "XVRNY"); }},
        ParseCase{"NoSeriesIsAccepted", productInfo("<devName>Gate</devName>"), true,
                  [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.devName), "Gate"); }},
        ParseCase{"BareRootIsAccepted", "<multicastSearchResult/>", true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.ipAddr), "");
                      EXPECT_EQ(i.dataPort, 0);
                  }},
        ParseCase{"TwoAddressItems", document(kTwoItems), true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.ipAddr), "192.0.2.10");
                      EXPECT_EQ(SearchText(i.maskAddr), "255.255.255.0");
                      EXPECT_EQ(SearchText(i.route), "192.0.2.1");
                      EXPECT_TRUE(i.dhcpSwitch);
                      EXPECT_EQ(SearchText(i.ipAddr2), "198.51.100.10");
                      EXPECT_EQ(SearchText(i.maskAddr2), "255.255.0.0");
                      EXPECT_EQ(SearchText(i.dns1), "203.0.113.1");
                      EXPECT_EQ(SearchText(i.dns2), "203.0.113.2");
                  }},
        ParseCase{"OneItemLeavesSecondAddressEmpty",
                  document("<tcpIp><ipAddr><item><ip>192.0.2.10</ip><mask>255.0.0.0</mask>"
                           "</item></ipAddr></tcpIp>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.ipAddr), "192.0.2.10");
                      EXPECT_EQ(SearchText(i.ipAddr2), "");
                      EXPECT_EQ(SearchText(i.maskAddr2), "");
                  }},
        ParseCase{"SecondItemIsTheNextItemAfterOtherElements",
                  document("<tcpIp><ipAddr><note/><item><ip>192.0.2.10</ip></item><note/>"
                           "<item><ip>198.51.100.10</ip></item></ipAddr></tcpIp>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.ipAddr), "192.0.2.10");
                      EXPECT_EQ(SearchText(i.ipAddr2), "198.51.100.10");
                  }},
        ParseCase{"ElementsInAnyOrder",
                  document("<port><rtspPort>554</rtspPort><httpPort>8080</httpPort>"
                           "<dataPort>6036</dataPort></port>"
                           "<tcpIp><dns2>203.0.113.2</dns2><dns1>203.0.113.1</dns1>"
                           "<ipAddr><item><dhcpSwitch>true</dhcpSwitch><route>192.0.2.1</route>"
                           "<ip>192.0.2.10</ip></item></ipAddr></tcpIp>"
                           "<productInfo><build>7</build><softwareVer>2.0</softwareVer>"
                           "</productInfo>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(i.dataPort, 6036);
                      EXPECT_EQ(i.httpPort, 8080);
                      EXPECT_EQ(i.rtspPort, 554);
                      EXPECT_EQ(SearchText(i.dns1), "203.0.113.1");
                      EXPECT_EQ(SearchText(i.dns2), "203.0.113.2");
                      EXPECT_EQ(SearchText(i.ipAddr), "192.0.2.10");
                      EXPECT_EQ(SearchText(i.route), "192.0.2.1");
                      EXPECT_TRUE(i.dhcpSwitch);
                      EXPECT_EQ(SearchText(i.softwareVer), "2.0(7)");
                  }},
        ParseCase{"NamesAreCaseSensitive",
                  document("<TcpIp><ipAddr><item><ip>192.0.2.10</ip></item></ipAddr></TcpIp>"
                           "<port><DataPort>6036</DataPort></port>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.ipAddr), "");
                      EXPECT_EQ(i.dataPort, 0);
                  }},
        ParseCase{"DhcpUpperCaseIsFalse", dhcp("TRUE"), true,
                  [](const SEARCH_INFO& i) { EXPECT_FALSE(i.dhcpSwitch); }},
        ParseCase{"DhcpOneIsFalse", dhcp("1"), true,
                  [](const SEARCH_INFO& i) { EXPECT_FALSE(i.dhcpSwitch); }},
        ParseCase{"DhcpTrue", dhcp("true"), true,
                  [](const SEARCH_INFO& i) { EXPECT_TRUE(i.dhcpSwitch); }},
        ParseCase{
            "VersionWithBuild", productInfo("<softwareVer>5.1.0</softwareVer><build>1208</build>"),
            true,
            [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.softwareVer), "5.1.0(1208)"); }},
        ParseCase{"BuildWithoutVersion", productInfo("<build>1208</build>"), true,
                  [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.softwareVer), "(1208)"); }},
        ParseCase{"VersionWithoutBuild", productInfo("<softwareVer>5.1.0</softwareVer>"), true,
                  [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.softwareVer), "5.1.0"); }},
        ParseCase{"ProductTexts",
                  productInfo("<productSeries>VRN_IPC</productSeries><devName>Gate</devName>"
                              "<softwareBulildDate>2021-03-04</softwareBulildDate>"
                              "<hardwareVer>H2</hardwareVer><kernelVer>K3</kernelVer>"
                              "<productModel>M4</productModel><runningTime>90061</runningTime>"
                              "<bootTime>2021-03-05 06:07:08</bootTime>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(SearchText(i.productSeries), "VRN_IPC");
                      EXPECT_EQ(SearchText(i.devName), "Gate");
                      EXPECT_EQ(SearchText(i.softwareBuildDate), "2021-03-04");
                      EXPECT_EQ(SearchText(i.hardwareVer), "H2");
                      EXPECT_EQ(SearchText(i.kernelVer), "K3");
                      EXPECT_EQ(SearchText(i.productModel), "M4");
                      EXPECT_EQ(SearchText(i.runningTime), "90061");
                      EXPECT_EQ(SearchText(i.bootTime), "2021-03-05 06:07:08");
                  }},
        ParseCase{"EntitiesAreDecoded", productInfo("<devName>A&amp;B &lt;1&gt;</devName>"), true,
                  [](const SEARCH_INFO& i) { EXPECT_EQ(SearchText(i.devName), "A&B <1>"); }},
        ParseCase{"PortWithoutRtsp", ports("<dataPort>6036</dataPort><httpPort>80</httpPort>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(i.dataPort, 6036);
                      EXPECT_EQ(i.httpPort, 80);
                      EXPECT_EQ(i.rtspPort, 0);
                  }},
        ParseCase{"NumbersReadLikeAtoi",
                  ports("<dataPort> \t+37x</dataPort><httpPort>-5</httpPort>"
                        "<rtspPort>abc</rtspPort>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(i.dataPort, 37);
                      EXPECT_EQ(i.httpPort, -5);
                      EXPECT_EQ(i.rtspPort, 0);
                  }},
        ParseCase{"HugeNumbersSaturate",
                  ports("<dataPort>99999999999999999999</dataPort>"
                        "<httpPort>-99999999999999999999</httpPort>"),
                  true,
                  [](const SEARCH_INFO& i) {
                      EXPECT_EQ(i.dataPort, INT_MAX);
                      EXPECT_EQ(i.httpPort, INT_MIN);
                  }}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

// Values longer than their field are cut at a character boundary and never spill into the
// fields behind them.
TEST(ParseSearchResultOversize, CutsAtCharacterBoundaryWithinTheField)
{
    const std::string longName(40, 'n');
    const std::string accented = std::string(18, 'a') + "\xC3\xA9"; // 20 bytes, é last
    const std::string han = "\xE4\xB8\xAD";                         // one 3-byte character
    std::string model;
    for (int i = 0; i < 10; ++i)
        model += han;
    const std::string xml =
        document("<productInfo><devName>" + longName + "</devName><productModel>" + model +
                 "</productModel><softwareVer>5.1.0.1234</softwareVer><build>120856</build>"
                 "<runningTime>" +
                 std::string(100, '9') + "</runningTime></productInfo>" +
                 "<tcpIp><ipAddr><item><ip>" + accented + "</ip></item></ipAddr></tcpIp>");
    SEARCH_INFO info{};
    ASSERT_TRUE(ParseSearchResult(xml, info));

    EXPECT_EQ(SearchText(info.devName), std::string(31, 'n'));
    EXPECT_EQ(SearchText(info.ipAddr), std::string(18, 'a'));
    EXPECT_EQ(SearchText(info.productModel), model.substr(0, 21)); // 7 whole characters
    EXPECT_EQ(SearchText(info.softwareVer), "5.1.0.1234(1208");
    EXPECT_EQ(SearchText(info.runningTime), std::string(63, '9'));
    EXPECT_TRUE(zeroAfterText(info.devName));
    EXPECT_TRUE(zeroAfterText(info.ipAddr));
    EXPECT_TRUE(zeroAfterText(info.productModel));
    EXPECT_TRUE(zeroAfterText(info.softwareVer));
    // The neighbours of the long fields were not written.
    EXPECT_EQ(SearchText(info.maskAddr), "");
    EXPECT_EQ(SearchText(info.softwareBuildDate), "");
    EXPECT_EQ(SearchText(info.bootTime), "");
}

struct CopyCase
{
    std::string text;
    std::string stored;
};

void PrintTo(const CopyCase& c, std::ostream* out)
{
    *out << testing::PrintToString(c.text);
}

class CopySearchTextTest : public testing::TestWithParam<CopyCase>
{};

TEST_P(CopySearchTextTest, StoresAtMostWidthMinusOneBytes)
{
    char field[8];
    std::fill(std::begin(field), std::end(field), 'x');
    CopySearchText(field, GetParam().text);
    EXPECT_EQ(SearchText(field), GetParam().stored);
    EXPECT_TRUE(zeroAfterText(field));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CopySearchTextTest,
    testing::Values(CopyCase{"", ""}, CopyCase{"abc", "abc"}, CopyCase{"1234567", "1234567"},
                    CopyCase{"12345678", "1234567"},
                    CopyCase{"12345\xC3\xA9", "12345\xC3\xA9"}, // two-byte character fits
                    CopyCase{"123456\xC3\xA9", "123456"},       // and does not
                    CopyCase{"12345\xE4\xB8\xAD", "12345"},     // three bytes at 6..8
                    CopyCase{"123\xF0\x9F\x98\x80x", "123\xF0\x9F\x98\x80"}));

TEST(SearchTextTest, StopsAtTheFieldEndWithoutNul)
{
    char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(SearchText(field), "abcd");
}

// Every field the parser writes, so that two records can be compared without their
// padding.
std::string fieldsOf(const SEARCH_INFO& info)
{
    std::string text;
    const auto add = [&](std::string_view field) { (text += field) += '|'; };
    add(SearchText(info.devName));
    add(SearchText(info.ipAddr));
    add(SearchText(info.maskAddr));
    add(SearchText(info.ipAddr2));
    add(SearchText(info.maskAddr2));
    add(SearchText(info.route));
    add(SearchText(info.dns1));
    add(SearchText(info.dns2));
    add(SearchText(info.mac));
    add(SearchText(info.productSeries));
    add(SearchText(info.softwareVer));
    add(SearchText(info.softwareBuildDate));
    add(SearchText(info.hardwareVer));
    add(SearchText(info.kernelVer));
    add(SearchText(info.productModel));
    add(SearchText(info.runningTime));
    add(SearchText(info.bootTime));
    for (const std::int32_t number : {info.status, info.dataPort, info.httpPort, info.rtspPort})
        add(std::to_string(number));
    add(info.dhcpSwitch ? "dhcp" : "static");
    return text;
}

SEARCH_INFO parsed(const std::string& xml)
{
    SEARCH_INFO info{};
    info.status = SEARCH_STATUS_CHANGED;
    CopySearchText(info.mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_TRUE(ParseSearchResult(xml, info)) << xml;
    return info;
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::string answerWith(const std::string& runningTime, const std::string& extra = {},
                       const std::string& beforeRoot = {})
{
    return kDeclaration + beforeRoot +
           document("<productInfo><productSeries>VRN_IPC</productSeries>"
                    "<devName>Gate 7</devName><softwareVer>5.1.0</softwareVer>"
                    "<build>1208</build>" +
                    runningTime + "<bootTime>2024-01-01 08:00:00</bootTime></productInfo>" +
                    kTwoItems + "<port><dataPort>9008</dataPort><httpPort>80</httpPort></port>" +
                    extra);
}

std::string runningTime(const std::string& text)
{
    return "<runningTime>" + text + "</runningTime>";
}

struct RunningTimeCase
{
    const char* name;
    std::string before;
    std::string after;
    bool updated;
};

void PrintTo(const RunningTimeCase& c, std::ostream* out)
{
    *out << c.name;
}

class UpdateRunningTimeTest : public testing::TestWithParam<RunningTimeCase>
{};

// Whenever the update is made, the parser itself is the independent answer it must
// agree with; otherwise the record is left as it was.
TEST_P(UpdateRunningTimeTest, AgreesWithTheParserOrLeavesTheRecord)
{
    const RunningTimeCase& c = GetParam();
    const SEARCH_INFO before = parsed(c.before);
    SEARCH_INFO info = before;
    ASSERT_EQ(UpdateRunningTime(c.before, c.after, info), c.updated);
    if (c.updated)
        EXPECT_EQ(fieldsOf(info), fieldsOf(parsed(c.after)));
    else
        EXPECT_EQ(fieldsOf(info), fieldsOf(before));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UpdateRunningTimeTest,
    testing::Values(
        RunningTimeCase{"the same answer", answerWith(runningTime("90061")),
                        answerWith(runningTime("90061")), true},
        RunningTimeCase{"two seconds later", answerWith(runningTime("90061")),
                        answerWith(runningTime("90063")), true},
        RunningTimeCase{"a digit more", answerWith(runningTime("99")),
                        answerWith(runningTime("101")), true},
        RunningTimeCase{"a digit more, repeating the last", answerWith(runningTime("11")),
                        answerWith(runningTime("111")), true},
        RunningTimeCase{"a digit less", answerWith(runningTime("100")),
                        answerWith(runningTime("99")), true},
        RunningTimeCase{"63 digits fill the field", answerWith(runningTime("1")),
                        answerWith(runningTime(std::string(63, '7'))), true},
        RunningTimeCase{"64 digits are cut by the parser", answerWith(runningTime("1")),
                        answerWith(runningTime(std::string(64, '7'))), false},
        RunningTimeCase{"another field changed too", answerWith(runningTime("5")),
                        answerWith(runningTime("6"), "<x>1</x>"), false},
        RunningTimeCase{"a digit of another field", answerWith(runningTime("5")),
                        answerWith(runningTime("5"))
                            .replace(answerWith(runningTime("5")).find("9008"), 4, "9009"),
                        false},
        RunningTimeCase{"becomes empty", answerWith(runningTime("5")), answerWith(runningTime("")),
                        false},
        RunningTimeCase{"was empty", answerWith(runningTime("")), answerWith(runningTime("5")),
                        false},
        RunningTimeCase{"not only digits", answerWith(runningTime("5 s")),
                        answerWith(runningTime("6 s")), false},
        RunningTimeCase{"white space around", answerWith(runningTime(" 5")),
                        answerWith(runningTime(" 6")), false},
        RunningTimeCase{"a second runningTime the parser does not read",
                        answerWith(runningTime("5"), runningTime("7")),
                        answerWith(runningTime("5"), runningTime("8")), false},
        RunningTimeCase{"outside productInfo", answerWith("", runningTime("7")),
                        answerWith("", runningTime("8")), false},
        RunningTimeCase{"in a comment", answerWith("", "<!--" + runningTime("7") + "-->"),
                        answerWith("", "<!--" + runningTime("8") + "-->"), false},
        RunningTimeCase{"in a CDATA section",
                        answerWith("", "<x><![CDATA[" + runningTime("7") + "]]></x>"),
                        answerWith("", "<x><![CDATA[" + runningTime("8") + "]]></x>"), false},
        RunningTimeCase{"in a processing instruction",
                        answerWith("", {}, "<?pi " + runningTime("7") + "?>"),
                        answerWith("", {}, "<?pi " + runningTime("8") + "?>"), false},
        RunningTimeCase{"in the XML declaration",
                        "<?xml version=\"1.0\" " + runningTime("7") + "?>" +
                            answerWith("").substr(kDeclaration.size()),
                        "<?xml version=\"1.0\" " + runningTime("8") + "?>" +
                            answerWith("").substr(kDeclaration.size()),
                        false},
        RunningTimeCase{"a number in the tag name", answerWith("<runningTime1>5</runningTime1>"),
                        answerWith("<runningTime2>5</runningTime2>"), false}));

} // namespace
