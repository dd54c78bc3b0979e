#include "discovery/quarlomanage.h"

#include "answerxml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kMacA = "00:1A:2B:3C:4D:5E";
constexpr const char* kMacB = "00:1A:2B:3C:4D:5F";

// What a record says about a device, reduced to what the cases compare.
struct Seen
{
    int status;
    std::string mac;
    std::string devName;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    return out << "{" << seen.status << " " << seen.mac << " " << seen.devName << "}";
}

class Recorder : public CObserver<SEARCH_INFO>
{
public:
    void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>* source) override
    {
        const std::lock_guard lock(mutex_);
        sources_.push_back(source);
        seen_.push_back({record.status, std::string(SearchText(record.mac)),
                         std::string(SearchText(record.devName))});
    }
    std::vector<Seen> seen() const
    {
        const std::lock_guard lock(mutex_);
        return seen_;
    }
    std::vector<CObservable<SEARCH_INFO>*> sources() const
    {
        const std::lock_guard lock(mutex_);
        return sources_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
    std::vector<CObservable<SEARCH_INFO>*> sources_;
};

std::vector<Seen> listed(const CQuarloManage& manage)
{
    std::vector<Seen> result;
    for (const auto& entry : manage.Devices())
        result.push_back(
            {0, std::string(SearchText(entry.mac)), std::string(SearchText(entry.devName))});
    return result;
}

std::string answer(const std::string& devName, const std::string& series = "VRN_IPC")
{
    AnswerFields fields;
    fields.devName = devName;
    fields.series = series;
    return answerXml(fields);
}

struct Answer
{
    int type;
    std::string mac;
    std::string xml;
};

struct CallbackCase
{
    const char* name;
    std::vector<Answer> answers;
    std::vector<Seen> notified;
    std::vector<Seen> list; // status not compared
};

void PrintTo(const CallbackCase& c, std::ostream* out)
{
    *out << c.name;
}

class SearchCallbackTest : public testing::TestWithParam<CallbackCase>
{};

TEST_P(SearchCallbackTest, KeepsTheListAndNotifies)
{
    const CallbackCase& c = GetParam();
    CQuarloManage manage;
    Recorder recorder;
    manage.Attach(&recorder);
    for (const Answer& a : c.answers)
        CQuarloManage::OnSearchCallback(a.mac.c_str(), a.type, a.xml.c_str(), &manage);
    manage.Detach(&recorder);

    EXPECT_EQ(recorder.seen(), c.notified);
    EXPECT_EQ(listed(manage), c.list);
    for (const auto* source : recorder.sources())
        EXPECT_EQ(source, &manage);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SearchCallbackTest,
    testing::Values(
        CallbackCase{
            "NewDevice", {{1, kMacA, answer("Gate")}}, {{0, kMacA, "Gate"}}, {{0, kMacA, "Gate"}}},
        CallbackCase{"RepeatedNewIsIgnoredEvenWithOtherData",
                     {{1, kMacA, answer("Gate")}, {1, kMacA, answer("Door")}},
                     {{0, kMacA, "Gate"}},
                     {{0, kMacA, "Gate"}}},
        CallbackCase{"MacIsUpperCased",
                     {{1, "00:1a:2b:3c:4d:5e", answer("Gate")}, {1, kMacA, answer("Door")}},
                     {{0, kMacA, "Gate"}},
                     {{0, kMacA, "Gate"}}},
        CallbackCase{"ChangedUnknownIsNotifiedButNotListed",
                     {{3, kMacA, answer("Gate")}},
                     {{2, kMacA, "Gate"}},
                     {}},
        CallbackCase{
            "ChangedKnownMovesToTheEnd",
            {{1, kMacA, answer("Gate")}, {1, kMacB, answer("Hall")}, {3, kMacA, answer("Door")}},
            {{0, kMacA, "Gate"}, {0, kMacB, "Hall"}, {2, kMacA, "Door"}},
            {{0, kMacB, "Hall"}, {0, kMacA, "Door"}}},
        CallbackCase{
            "GoneUnknownIsNotified", {{2, kMacA, answer("Gate")}}, {{1, kMacA, "Gate"}}, {}},
        CallbackCase{
            "GoneKnownIsRemoved",
            {{1, kMacA, answer("Gate")}, {1, kMacB, answer("Hall")}, {2, kMacA, answer("Gate")}},
            {{0, kMacA, "Gate"}, {0, kMacB, "Hall"}, {1, kMacA, "Gate"}},
            {{0, kMacB, "Hall"}}},
        CallbackCase{
            "NewAgainAfterGone",
            {{1, kMacA, answer("Gate")}, {2, kMacA, answer("Gate")}, {1, kMacA, answer("Door")}},
            {{0, kMacA, "Gate"}, {1, kMacA, "Gate"}, {0, kMacA, "Door"}},
            {{0, kMacA, "Door"}}},
        CallbackCase{"ForeignAndBrokenAnswersChangeNothing",
                     {{1, kMacA, answer("Gate")},
                      {3, kMacA, answer("Door", "NVR_X")},
                      {2, kMacA, "<multicastSearchResult>"},
                      {1, kMacB, answer("Hall", "vrn_ipc")},
                      {3, kMacA, "<otherAnswer/>"}},
                     {{0, kMacA, "Gate"}},
                     {{0, kMacA, "Gate"}}},
        CallbackCase{"OtherTypesChangeNothing",
                     {{10000, kMacA, answer("Gate")},
                      {0, kMacA, answer("Gate")},
                      {4, kMacA, answer("Gate")}},
                     {},
                     {}}),
    [](const testing::TestParamInfo<CallbackCase>& info) { return std::string(info.param.name); });

TEST(SearchCallbackEdgeTest, RecordCarriesTheParsedAnswer)
{
    CQuarloManage manage;
    SEARCH_INFO received{};
    struct : CObserver<SEARCH_INFO>
    {
        void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>*) override { *target = record; }
        SEARCH_INFO* target = nullptr;
    } observer;
    observer.target = &received;
    manage.Attach(&observer);
    AnswerFields fields;
    fields.httpPort = "8080";
    CQuarloManage::OnSearchCallback(kMacA, 1, answerXml(fields).c_str(), &manage);
    manage.Detach(&observer);
    EXPECT_EQ(SearchText(received.ipAddr), fields.ip);
    EXPECT_EQ(SearchText(received.ipAddr2), fields.ip2);
    EXPECT_EQ(received.httpPort, 8080);
    EXPECT_EQ(received.dataPort, 6036);
}

TEST(SearchCallbackEdgeTest, MissingTextsAndOwnerAreHarmless)
{
    CQuarloManage manage;
    Recorder recorder;
    manage.Attach(&recorder);
    CQuarloManage::OnSearchCallback(kMacA, 1, nullptr, &manage);
    CQuarloManage::OnSearchCallback(kMacA, 1, answer("Gate").c_str(), nullptr);
    EXPECT_TRUE(recorder.seen().empty());
    CQuarloManage::OnSearchCallback(nullptr, 1, answer("Gate").c_str(), &manage);
    EXPECT_EQ(recorder.seen(), (std::vector<Seen>{{0, "", "Gate"}}));
    manage.Detach(&recorder);
}

// A MAC text longer than the record's field is cut to fit; the cut text stays the key, so
// the device is still recognised on its next answer.
TEST(SearchCallbackEdgeTest, OverlongMacIsCutAndStillMatches)
{
    CQuarloManage manage;
    Recorder recorder;
    manage.Attach(&recorder);
    const std::string mac(100, 'a');
    CQuarloManage::OnSearchCallback(mac.c_str(), 1, answer("Gate").c_str(), &manage);
    CQuarloManage::OnSearchCallback(mac.c_str(), 1, answer("Door").c_str(), &manage);
    CQuarloManage::OnSearchCallback(mac.c_str(), 2, answer("Door").c_str(), &manage);
    manage.Detach(&recorder);
    const std::string key(63, 'A');
    EXPECT_EQ(recorder.seen(), (std::vector<Seen>{{0, key, "Gate"}, {1, key, "Door"}}));
    EXPECT_TRUE(manage.Devices().empty());
}

// Records every notified record whole.
class RecordKeeper : public CObserver<SEARCH_INFO>
{
public:
    void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>*) override
    {
        const std::lock_guard lock(mutex_);
        records_.push_back(record);
    }
    std::vector<SEARCH_INFO> records() const
    {
        const std::lock_guard lock(mutex_);
        return records_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<SEARCH_INFO> records_;
};

std::string answerAt(const std::string& runningTime, const std::string& devName = "Gate")
{
    std::string xml = answer(devName);
    const std::string product = "<productInfo>";
    return xml.insert(xml.find(product) + product.size(),
                      "<runningTime>" + runningTime + "</runningTime>");
}

// Answers one round apart differ in the running time only; the manager reads them
// without parsing, and its records are what parsing gives, field by field.
TEST(SearchCallbackEdgeTest, RunningTimeUpdatesGiveWhatParsingGives)
{
    const Answer answers[] = {
        {1, kMacA, answerAt("100")},          {3, kMacA, answerAt("102")},
        {3, kMacA, answerAt("1000")},         {3, kMacA, answerAt("1002", "Door")},
        {3, kMacA, answerAt("1004", "Door")}, {2, kMacA, answerAt("1004", "Door")},
    };
    CQuarloManage manage;
    RecordKeeper keeper;
    manage.Attach(&keeper);
    for (const Answer& a : answers)
        CQuarloManage::OnSearchCallback(a.mac.c_str(), a.type, a.xml.c_str(), &manage);
    manage.Detach(&keeper);

    const std::vector<SEARCH_INFO> records = keeper.records();
    ASSERT_EQ(records.size(), std::size(answers));
    for (std::size_t i = 0; i < records.size(); ++i) {
        SEARCH_INFO expected{};
        CopySearchText(expected.mac, kMacA);
        ASSERT_TRUE(ParseSearchResult(answers[i].xml, expected));
        expected.status = records[i].status;
        EXPECT_EQ(SearchText(records[i].runningTime), SearchText(expected.runningTime)) << i;
        EXPECT_EQ(SearchText(records[i].devName), SearchText(expected.devName)) << i;
        EXPECT_EQ(SearchText(records[i].ipAddr2), SearchText(expected.ipAddr2)) << i;
        EXPECT_EQ(records[i].dataPort, expected.dataPort) << i;
    }
    EXPECT_EQ(SearchText(records[2].runningTime), "1000");
    EXPECT_EQ(SearchText(records[3].devName), "Door");
}

// Hundreds of devices answering in turns: the list keeps the order that the rules give
// (new ones appended, a changed one moved to the end, a gone one removed), checked
// against a plain list kept beside it.
TEST(SearchCallbackEdgeTest, ManyDevicesKeepTheListOrder)
{
    constexpr int kDevices = 300;
    CQuarloManage manage;
    std::vector<std::string> expected;
    const auto mac = [](int n) {
        char text[18];
        std::snprintf(text, sizeof text, "02:00:00:00:%02X:%02X", n >> 8, n & 0xFF);
        return std::string(text);
    };
    const auto feed = [&](int type, int n, const std::string& xml) {
        CQuarloManage::OnSearchCallback(mac(n).c_str(), type, xml.c_str(), &manage);
        const auto at = std::find(expected.begin(), expected.end(), mac(n));
        const bool known = at != expected.end();
        if (known && type != 1)
            expected.erase(at);
        if ((!known && type == 1) || (known && type == 3))
            expected.push_back(mac(n));
    };
    for (int n = 0; n < kDevices; ++n)
        feed(1, n, answerAt("1"));
    for (int n = 0; n < kDevices; n += 3)
        feed(3, n, answerAt("2"));
    for (int n = 0; n < kDevices; n += 7)
        feed(2, n, answerAt("2"));
    for (int n = 0; n < kDevices; n += 5)
        feed(1, n, answerAt("3"));
    feed(3, kDevices + 1, answerAt("3"));

    std::vector<std::string> listedMacs;
    for (const SEARCH_INFO& entry : manage.Devices())
        listedMacs.emplace_back(SearchText(entry.mac));
    EXPECT_EQ(listedMacs, expected);
}

// Without Init the library refuses to search, so only the manager's own list is at work.
TEST(SearchControlTest, ListIsEmptiedWhenTheSearchStartsAfresh)
{
    CQuarloManage manage;
    const auto learn = [&](const char* mac) {
        CQuarloManage::OnSearchCallback(mac, 1, answer("Gate").c_str(), &manage);
    };

    learn(kMacA);
    manage.SetAutoSearch(5); // the search was off
    EXPECT_TRUE(manage.Devices().empty());

    learn(kMacA);
    manage.SetAutoSearch(7); // only the period changes
    EXPECT_EQ(manage.Devices().size(), 1u);
    manage.SetAutoSearch(0); // switching off keeps what is known
    EXPECT_EQ(manage.Devices().size(), 1u);

    learn(kMacB);
    manage.SetAutoSearch(5);
    EXPECT_TRUE(manage.Devices().empty());

    learn(kMacA);
    manage.RestartSearch();
    EXPECT_TRUE(manage.Devices().empty());
}

} // namespace
