#include "discovery/devicerecord.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <ostream>
#include <string>
#include <vector>

namespace {

SEARCH_INFO recordOf(const std::string& series, const std::string& softwareVer = "5.1.0")
{
    SEARCH_INFO record{};
    CopySearchText(record.productSeries, series);
    CopySearchText(record.softwareVer, softwareVer);
    return record;
}

struct SeriesCase
{
    std::string series;
    bool shown;
};

void PrintTo(const SeriesCase& c, std::ostream* out)
{
    *out << '"' << c.series << '"';
}

class SeriesFilterTest : public testing::TestWithParam<SeriesCase>
{};

TEST_P(SeriesFilterTest, OnlyTheOwnSeriesIsShown)
{
    const auto info = MakeOnlineDeviceInfo(recordOf(GetParam().series));
    EXPECT_EQ(info != nullptr, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Series, SeriesFilterTest,
                         testing::Values(SeriesCase{"VRN_IPC", true}, SeriesCase{"VRN_ipc", true},
                                         SeriesCase{"vrn_ipc", true}, SeriesCase{"VRN_NVR", false},
                                         SeriesCase{"VRN_IPC2", false}, SeriesCase{"VRN_IP", false},
                                         SeriesCase{" VRN_IPC", false}, SeriesCase{"", false}));

struct VersionCase
{
    std::string reported;
    std::string shown;
};

void PrintTo(const VersionCase& c, std::ostream* out)
{
    *out << '"' << c.reported << '"';
}

class BetaRuleTest : public testing::TestWithParam<VersionCase>
{};

TEST_P(BetaRuleTest, LateBetasReadAsReleaseOne)
{
    const auto info = MakeOnlineDeviceInfo(recordOf("VRN_IPC", GetParam().reported));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->softwareVer.toStdString(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, BetaRuleTest,
    testing::Values(VersionCase{"5.1.0beta130", "5.1.01"}, VersionCase{"5.1.0beta128", "5.1.01"},
                    VersionCase{"5.1.0beta127", "5.1.0beta127"},
                    VersionCase{"5.1.0beta20", "5.1.0beta20"},
                    VersionCase{"5.1beta130(12)", "5.1beta130(12)"},
                    // The field holds 15 bytes; the cut text is no number either.
                    VersionCase{"5.1.0beta130(1208)", "5.1.0beta130(12"},
                    VersionCase{"5.1.0Beta130", "5.1.0Beta130"},
                    VersionCase{"5.1.0beta", "5.1.0beta"},
                    VersionCase{"1beta9999999999", "1beta9999999999"},
                    VersionCase{"1beta200beta300", "1beta200beta300"}, VersionCase{"beta200", "1"},
                    VersionCase{"5.1.0", "5.1.0"}, VersionCase{"", ""}));

SEARCH_INFO fullRecord()
{
    SEARCH_INFO record{};
    record.status = SEARCH_STATUS_CHANGED;
    CopySearchText(record.devName, "Kamera S\xC3\xBC"
                                   "d");
    CopySearchText(record.ipAddr, "192.0.2.10");
    CopySearchText(record.maskAddr, "255.255.255.0");
    CopySearchText(record.ipAddr2, "198.51.100.10");
    CopySearchText(record.maskAddr2, "255.255.0.0");
    CopySearchText(record.route, "192.0.2.1");
    CopySearchText(record.dns1, "203.0.113.1");
    CopySearchText(record.dns2, "203.0.113.2");
    CopySearchText(record.mac, "00:1A:2B:3C:4D:5E");
    CopySearchText(record.productSeries, "VRN_ipc");
    CopySearchText(record.softwareVer, "5.1.0(1208)");
    CopySearchText(record.softwareBuildDate, "2021-03-04");
    CopySearchText(record.hardwareVer, "H2");
    CopySearchText(record.kernelVer, "K3");
    CopySearchText(record.productModel, "M4");
    CopySearchText(record.runningTime, "90061");
    CopySearchText(record.bootTime, "2021-03-05 06:07:08");
    record.dataPort = 6036;
    record.httpPort = 8080;
    record.rtspPort = 554;
    record.dhcpSwitch = true;
    return record;
}

TEST(MakeOnlineDeviceInfoTest, CopiesEveryField)
{
    const auto info = MakeOnlineDeviceInfo(fullRecord());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->devName, QString::fromUtf8("Kamera S\xC3\xBC"
                                               "d"));
    EXPECT_EQ(info->devName.size(), 10);
    EXPECT_EQ(info->ipAddr, "192.0.2.10");
    EXPECT_EQ(info->maskAddr, "255.255.255.0");
    EXPECT_EQ(info->ipAddr2, "198.51.100.10");
    EXPECT_EQ(info->maskAddr2, "255.255.0.0");
    EXPECT_EQ(info->route, "192.0.2.1");
    EXPECT_EQ(info->dns1, "203.0.113.1");
    EXPECT_EQ(info->dns2, "203.0.113.2");
    EXPECT_EQ(info->mac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(info->productSeries, "VRN_ipc");
    EXPECT_EQ(info->softwareVer, "5.1.0(1208)");
    EXPECT_EQ(info->softwareBuildDate, "2021-03-04");
    EXPECT_EQ(info->hardwareVer, "H2");
    EXPECT_EQ(info->kernelVer, "K3");
    EXPECT_EQ(info->productModel, "M4");
    EXPECT_EQ(info->runningTime, "90061");
    EXPECT_EQ(info->bootTime, "2021-03-05 06:07:08");
    EXPECT_EQ(info->dataPort, 6036);
    EXPECT_EQ(info->httpPort, 8080);
    EXPECT_TRUE(info->dhcpSwitch);
}

TEST(MakeOnlineDeviceInfoTest, EmptyModelBecomesOneSpace)
{
    const auto info = MakeOnlineDeviceInfo(recordOf("VRN_IPC"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->productModel, " ");
}

// A field filled to its last byte has no NUL; the copy must stop at the field's end.
TEST(MakeOnlineDeviceInfoTest, FullFieldWithoutNulStopsAtItsEnd)
{
    SEARCH_INFO record = recordOf("VRN_IPC");
    std::fill(std::begin(record.kernelVer), std::end(record.kernelVer), 'k');
    CopySearchText(record.productModel, "M4");
    const auto info = MakeOnlineDeviceInfo(record);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->kernelVer, QString(16, QLatin1Char('k')));
}

// The record's texts in field order, and its numbers.
QStringList fieldsOf(const OnlineDeviceInfo& info)
{
    return {info.devName,
            info.ipAddr,
            info.maskAddr,
            info.ipAddr2,
            info.maskAddr2,
            info.route,
            info.dns1,
            info.dns2,
            info.mac,
            info.productSeries,
            info.softwareVer,
            info.softwareBuildDate,
            info.hardwareVer,
            info.kernelVer,
            info.productModel,
            info.runningTime,
            info.bootTime,
            QString::number(info.dataPort),
            QString::number(info.httpPort),
            info.dhcpSwitch ? QStringLiteral("dhcp") : QStringLiteral("static")};
}

// A device's records as one answer after another changes them.
std::vector<SEARCH_INFO> deviceHistory()
{
    std::vector<SEARCH_INFO> history;
    SEARCH_INFO record = fullRecord();
    record.status = SEARCH_STATUS_NEW;
    history.push_back(record);
    record.status = SEARCH_STATUS_CHANGED;
    CopySearchText(record.runningTime, "90063");
    history.push_back(record);
    CopySearchText(record.devName, "Hall");
    CopySearchText(record.softwareVer, "5.1.0beta130");
    record.httpPort = 80;
    history.push_back(record);
    CopySearchText(record.productModel, "");
    record.dhcpSwitch = false;
    history.push_back(record);
    record.status = SEARCH_STATUS_GONE;
    history.push_back(record);
    record.status = SEARCH_STATUS_NEW;
    CopySearchText(record.productModel, "M5");
    history.push_back(record);
    return history;
}

TEST(OnlineDeviceInfoMakerTest, MakesWhatMakeOnlineDeviceInfoMakes)
{
    OnlineDeviceInfoMaker maker;
    for (const SEARCH_INFO& record : deviceHistory()) {
        const auto made = maker.Make(record);
        const auto expected = MakeOnlineDeviceInfo(record);
        ASSERT_NE(made, nullptr);
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(fieldsOf(*made), fieldsOf(*expected)) << record.status;
    }
    EXPECT_EQ(maker.Make(recordOf("VRN_NVR")), nullptr);
}

TEST(OnlineDeviceInfoMakerTest, SharesTheTextsOfUnchangedFieldsUntilTheDeviceIsGone)
{
    const std::vector<SEARCH_INFO> history = deviceHistory();
    OnlineDeviceInfoMaker maker;
    const auto first = maker.Make(history[0]);
    const auto second = maker.Make(history[1]);
    const QStringList before = fieldsOf(*first);
    const QStringList after = fieldsOf(*second);
    constexpr int kRunningTime = 15;
    constexpr int kTexts = 17;
    // A shared text is one whose characters lie in the same place.
    for (int i = 0; i < kTexts; ++i)
        EXPECT_EQ(before[i].constData() == after[i].constData(), i != kRunningTime) << i;

    const auto gone = maker.Make(history[4]);
    const auto again = maker.Make(history[5]);
    EXPECT_NE(gone->ipAddr.constData(), again->ipAddr.constData());
}

struct RunTimeCase
{
    QString seconds;
    QString text;
};

void PrintTo(const RunTimeCase& c, std::ostream* out)
{
    *out << '"' << c.seconds.toStdString() << '"';
}

class RunningTimeTextTest : public testing::TestWithParam<RunTimeCase>
{};

TEST_P(RunningTimeTextTest, LargestUnitsWithoutSeconds)
{
    EXPECT_EQ(RunningTimeText(GetParam().seconds, "d", "h", "m").toStdString(),
              GetParam().text.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Seconds, RunningTimeTextTest,
    testing::Values(RunTimeCase{"90061", "1d1h1m"}, RunTimeCase{"59", "0m"}, RunTimeCase{"1", "0m"},
                    RunTimeCase{"0", ""}, RunTimeCase{"", ""}, RunTimeCase{"abc", ""},
                    RunTimeCase{"-90061", ""}, RunTimeCase{"12x", ""}, RunTimeCase{"60", "1m"},
                    RunTimeCase{"119", "1m"}, RunTimeCase{"3600", "1h0m"},
                    RunTimeCase{"3659", "1h0m"}, RunTimeCase{"86400", "1d0h0m"},
                    RunTimeCase{"1209599", "13d23h59m"},
                    RunTimeCase{"18446744073709551615", "213503982334601d7h0m"}));

TEST(RunningTimeTextTest, UnitTextsAreNotFilledAgain)
{
    EXPECT_EQ(RunningTimeText("90061", "%2", "%1", "%3"), "1%21%11%3");
    EXPECT_EQ(RunningTimeText("59", "", "", "%1"), "0%1");
}

} // namespace
