#pragma once

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

template <typename T>
class CObservable;

// Receives the records of a subject. Update runs on the subject's notifying thread.
template <typename T>
class CObserver
{
public:
    virtual ~CObserver() = default;
    virtual void Update(T record, CObservable<T>* source) = 0;
};

// A subject with a list of observers, called in the order they were attached. The
// subject does not own its observers.
//
// The list is guarded, and Notify calls observers without holding the guard, so an
// observer may attach, detach or notify from inside Update. Detach does not return while
// another thread may still be inside (or about to enter) Update of the observer being
// detached, so once it returns the observer may be destroyed. A Detach from inside the
// observer's own Update returns at once; that call is the last one the observer gets.
template <typename T>
class CObservable
{
public:
    CObservable() = default;
    CObservable(const CObservable&) = delete;
    CObservable& operator=(const CObservable&) = delete;
    virtual ~CObservable() = default;

    // Ignores null. An observer that is attached already moves to the end of the list.
    void Attach(CObserver<T>* observer)
    {
        if (!observer)
            return;
        const std::lock_guard lock(mutex_);
        std::erase(observers_, observer);
        observers_.push_back(observer);
    }

    void Detach(CObserver<T>* observer)
    {
        std::unique_lock lock(mutex_);
        std::erase(observers_, observer);
        idle_.wait(lock, [&] { return !calledElsewhere(observer); });
    }

    // Calls Update on every observer attached when the call starts that is still
    // attached when its turn comes. Observers attached meanwhile are not called.
    void Notify(const T& record)
    {
        std::unique_lock lock(mutex_);
        const std::vector<CObserver<T>*> snapshot = observers_;
        for (CObserver<T>* observer : snapshot) {
            if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
                continue;
            const Call call{observer, std::this_thread::get_id()};
            calls_.push_back(call);
            lock.unlock();
            observer->Update(record, this);
            lock.lock();
            calls_.erase(std::find(calls_.begin(), calls_.end(), call));
            idle_.notify_all();
        }
    }

private:
    struct Call
    {
        CObserver<T>* observer;
        std::thread::id thread;
        bool operator==(const Call&) const = default;
    };

    // A call on the detaching thread itself is the caller's own Update; waiting for it
    // would never end.
    bool calledElsewhere(const CObserver<T>* observer) const
    {
        const auto self = std::this_thread::get_id();
        return std::any_of(calls_.begin(), calls_.end(), [&](const Call& call) {
            return call.observer == observer && call.thread != self;
        });
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<CObserver<T>*> observers_;
    std::vector<Call> calls_; // Update calls in progress
};
