#include "discovery/devicerecord.h"
#include "discovery/quarlomanage.h"

#include "testkit/devsimprocess.h"
#include "privatenetns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr const char* kGate = "00:1A:2B:00:00:01";
constexpr const char* kHall = "00:1A:2B:00:00:02";
constexpr const char* kRecorder = "00:1A:2B:00:00:03"; // another series of the same maker
constexpr const char* kStranger = "00:1A:2B:00:00:04"; // another maker's device
// The library's gone rule is three silent periods; one period is a second here.
constexpr int kPeriodSeconds = 1;
constexpr auto kPatience = 15s;

std::string camera(const char* mac, const char* bind, const char* name, const char* series)
{
    return std::string("[camera]\nmac = ") + mac + "\nbind = " + bind + "\ndevName = " + name +
           "\nproductSeries = " + series + "\nhttpPort = 8080\n";
}

// Every record the manager hands to its observers, in order, on the library's thread.
class RecordLog : public CObserver<SEARCH_INFO>
{
public:
    void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>*) override
    {
        {
            const std::lock_guard lock(mutex_);
            records_.push_back(record);
        }
        changed_.notify_all();
    }

    // Waits until a record with this status and MAC matches; that record, or null.
    std::optional<SEARCH_INFO> waitFor(int status, const std::string& mac,
                                       const std::function<bool(const SEARCH_INFO&)>& also = {})
    {
        std::unique_lock lock(mutex_);
        std::optional<SEARCH_INFO> found;
        changed_.wait_for(lock, kPatience, [&] {
            for (const auto& record : records_) {
                if (record.status == status && SearchText(record.mac) == mac &&
                    (!also || also(record))) {
                    found = record;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    std::size_t count(const std::string& mac) const
    {
        const std::lock_guard lock(mutex_);
        return std::count_if(records_.begin(), records_.end(),
                             [&](const SEARCH_INFO& r) { return SearchText(r.mac) == mac; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SEARCH_INFO> records_;
};

std::vector<std::string> listedMacs(const CQuarloManage& manage)
{
    std::vector<std::string> macs;
    for (const auto& entry : manage.Devices())
        macs.emplace_back(SearchText(entry.mac));
    std::sort(macs.begin(), macs.end());
    return macs;
}

// Simulated cameras answer the real search library; the manager turns the answers into
// records of new, changed and gone devices, and the window's rule keeps its own series.
TEST(SearchEndToEndTest, CamerasAppearChangeAndDisappear)
{
    if (!inPrivateNetns())
        GTEST_FAIL() << "refusing to search outside the namespace of tests/netns/run-in-netns.sh";
    galvorn::testing::DevsimProcess devsim;
    std::string error;
    ASSERT_TRUE(devsim.start(camera(kGate, "127.0.1.1", "Gate", "VRN_IPC") +
                                 camera(kHall, "127.0.1.2", "Hall", "VRN_ipc") +
                                 camera(kRecorder, "127.0.1.3", "Recorder", "VRN_NVR") +
                                 camera(kStranger, "127.0.1.4", "Stranger", "NVR_X"),
                             error))
        << error;

    CQuarloManage manage;
    RecordLog log;
    manage.Attach(&log);
    manage.Init();
    manage.SetAutoSearch(kPeriodSeconds);
    manage.RestartSearch();

    const auto gate = log.waitFor(SEARCH_STATUS_NEW, kGate);
    ASSERT_TRUE(gate);
    const auto hall = log.waitFor(SEARCH_STATUS_NEW, kHall);
    ASSERT_TRUE(hall);
    const auto recorder = log.waitFor(SEARCH_STATUS_NEW, kRecorder);
    ASSERT_TRUE(recorder);
    EXPECT_EQ(SearchText(gate->devName), "Gate");
    EXPECT_EQ(SearchText(gate->ipAddr), "127.0.1.1");
    EXPECT_EQ(gate->httpPort, 8080);

    // What the window would show: its own series, in any case, and nothing else.
    const auto shown = MakeOnlineDeviceInfo(*gate);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->devName, "Gate");
    EXPECT_EQ(shown->softwareVer, "5.1.0(1208)");
    EXPECT_NE(MakeOnlineDeviceInfo(*hall), nullptr);
    EXPECT_EQ(MakeOnlineDeviceInfo(*recorder), nullptr);

    ASSERT_EQ(devsim.command(std::string("set ") + kGate + " devName Front gate"), "ok");
    ASSERT_TRUE(log.waitFor(SEARCH_STATUS_CHANGED, kGate, [](const SEARCH_INFO& r) {
        return SearchText(r.devName) == "Front gate";
    }));

    ASSERT_EQ(devsim.command(std::string("silence ") + kHall), "ok");
    ASSERT_TRUE(log.waitFor(SEARCH_STATUS_GONE, kHall));
    EXPECT_EQ(listedMacs(manage), (std::vector<std::string>{kGate, kRecorder}));

    manage.Detach(&log);
    manage.Quit();
    // The stranger answered all along; its answers never reached an observer.
    EXPECT_EQ(log.count(kStranger), 0u);
}

} // namespace
