#include "discovery/observable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Subject = CObservable<int>;

// Calls a function for every record it receives.
class Probe : public CObserver<int>
{
public:
    explicit Probe(std::function<void(int, Subject*)> onUpdate = {})
        : onUpdate_(std::move(onUpdate))
    {}

    void Update(int record, Subject* source) override
    {
        ++calls;
        if (onUpdate_)
            onUpdate_(record, source);
    }

    std::atomic<int> calls{0};

private:
    std::function<void(int, Subject*)> onUpdate_;
};

// A one-shot event that threads wait on.
class Event
{
public:
    void set()
    {
        {
            const std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
    }
    // True when set within the time.
    bool waitFor(std::chrono::milliseconds time)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, time, [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

TEST(ObservableTest, CallsObserversInAttachOrder)
{
    Subject subject;
    std::string order;
    Subject* seenSource = nullptr;
    Probe a([&](int, Subject* source) {
        order += 'a';
        seenSource = source;
    });
    Probe b([&](int, Subject*) { order += 'b'; });
    Probe c([&](int, Subject*) { order += 'c'; });

    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&c);
    subject.Attach(nullptr);
    subject.Notify(1);
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(seenSource, &subject);

    // Attaching again moves the observer to the end instead of calling it twice.
    order.clear();
    subject.Attach(&a);
    subject.Notify(2);
    EXPECT_EQ(order, "bca");

    order.clear();
    Probe stranger;
    subject.Detach(&stranger);
    subject.Detach(&b);
    subject.Notify(3);
    EXPECT_EQ(order, "ca");
}

TEST(ObservableTest, PassesTheRecord)
{
    Subject subject;
    std::vector<int> seen;
    Probe probe([&](int record, Subject*) { seen.push_back(record); });
    subject.Attach(&probe);
    subject.Notify(7);
    subject.Notify(-3);
    EXPECT_EQ(seen, (std::vector<int>{7, -3}));
}

TEST(ObservableTest, ChangesDuringNotifyApplyToLaterObservers)
{
    Subject subject;
    Probe late;
    Probe dropped;
    Probe changer([&](int, Subject* source) {
        source->Detach(&dropped);
        source->Attach(&late);
    });
    subject.Attach(&changer);
    subject.Attach(&dropped);
    subject.Notify(1);
    EXPECT_EQ(dropped.calls, 0); // detached before its turn
    EXPECT_EQ(late.calls, 0);    // attached after the round began
    subject.Notify(2);
    EXPECT_EQ(late.calls, 1);
}

TEST(ObservableTest, DetachFromOwnUpdateReturnsAndEndsTheCalls)
{
    Subject subject;
    Probe self([&](int, Subject* source) { source->Detach(&self); });
    subject.Attach(&self);
    subject.Notify(1);
    subject.Notify(2);
    EXPECT_EQ(self.calls, 1);
}

TEST(ObservableTest, NotifyFromInsideUpdate)
{
    Subject subject;
    std::vector<int> seen;
    Probe probe([&](int record, Subject* source) {
        seen.push_back(record);
        if (record == 1)
            source->Notify(2);
    });
    subject.Attach(&probe);
    subject.Notify(1);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

// Detach on one thread while another thread is inside the observer's Update: Detach must
// not return before Update has, since the caller may destroy the observer next.
TEST(ObservableTest, DetachWaitsForAnUpdateInProgress)
{
    Subject subject;
    Event entered;
    Event detachReturned;
    std::atomic<bool> returnedDuringUpdate{false};
    Probe probe([&](int, Subject*) {
        entered.set();
        // A Detach that does not wait returns within this time; a waiting one cannot.
        returnedDuringUpdate = detachReturned.waitFor(std::chrono::milliseconds(200));
    });
    subject.Attach(&probe);

    std::thread notifier([&] { subject.Notify(1); });
    entered.wait();
    std::thread detacher([&] {
        subject.Detach(&probe);
        detachReturned.set();
    });
    detacher.join();
    notifier.join();
    EXPECT_FALSE(returnedDuringUpdate);
    EXPECT_EQ(probe.calls, 1);
}

// Many threads notify while observers come and go. An observer must never be called
// once Detach has returned for it.
TEST(ObservableTest, NoCallAfterDetachUnderConcurrentNotify)
{
    constexpr int kNotifiers = 4;
    constexpr int kObservers = 3;
    constexpr int kRounds = 2000;
    constexpr int kMinCalls = 10000;

    Subject subject;
    std::atomic<bool> attached[kObservers] = {};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < kObservers; ++i) {
        probes.push_back(std::make_unique<Probe>([&, i](int, Subject*) {
            if (!attached[i])
                ++lateCalls;
            ++calls;
        }));
    }

    std::atomic<bool> stop{false};
    std::vector<std::thread> notifiers;
    for (int n = 0; n < kNotifiers; ++n) {
        notifiers.emplace_back([&, n] {
            while (!stop)
                subject.Notify(n);
        });
    }
    // Go on until the notifiers have really run against the changing list.
    for (int round = 0; round < kRounds || calls < kMinCalls; ++round) {
        const int i = round % kObservers;
        attached[i] = true;
        subject.Attach(probes[i].get());
        const int j = (round + 1) % kObservers;
        subject.Detach(probes[j].get());
        attached[j] = false;
    }
    stop = true;
    for (auto& thread : notifiers)
        thread.join();

    EXPECT_EQ(lateCalls, 0);
}

} // namespace
