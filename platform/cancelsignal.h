#pragma once

#include <atomic>

namespace galvorn::platform {

// A one-way flag that blocking waits can watch: fire() sets it for good, and its file
// descriptor becomes readable, so a poll(2) on it ends. Shared by the thread that cancels
// and the threads that wait; it must outlive both.
class CancelSignal
{
public:
    CancelSignal();
    ~CancelSignal();

    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void fire() noexcept;
    bool fired() const noexcept { return fired_.load(); }
    // Readable once fired; -1 when the system gave no descriptor, in which case waits can
    // only check fired() at their ends.
    int fd() const noexcept { return fd_; }

private:
    std::atomic<bool> fired_{false};
    int fd_ = -1;
};

} // namespace galvorn::platform
