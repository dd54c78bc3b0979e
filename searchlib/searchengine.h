#pragma once

#include "searchlib/devicetable.h"
#include "searchlib/quarlo_search.h"
#include "searchlib/searchcontrol.h"
#include "searchlib/searchsocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace galvorn::searchlib {

// A probe round goes out this many times per period, spread evenly over it.
inline constexpr int kProbesPerPeriod = 2;
// A camera that has not answered for this many periods is gone.
inline constexpr int kGonePeriods = 3;

// The search behind the C interface: one UDP socket and one thread, which sends the
// probes, reads the answers, keeps the device table and runs every callback. The engine
// owns the socket, the wake-up descriptor and the thread: the thread ends in quit(), the
// descriptors with the engine. Each probe round asks for an answer delay and a receive
// buffer sized for the cameras it expects: those it tracks and the answers the kernel
// dropped since the round before.
class SearchEngine
{
public:
    // Opens the socket and starts the thread. Null when that fails; throws only when memory
    // or threads run out. `maxInterfaces` >= 1.
    static std::unique_ptr<SearchEngine> create(QuarloSearchCallback callback, void* userData,
                                                int maxInterfaces);
    ~SearchEngine();

    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Same contracts as QUARLO_SEARCH_StartAuto / StopAuto / Quit, with the period in
    // milliseconds. Results are QUARLO_SEARCH_OK or QUARLO_SEARCH_ERROR. Once quit() has
    // been called every call is refused; quit() itself is refused on the engine thread.
    int startAuto(std::chrono::milliseconds period);
    int stopAuto();
    int quit();

    bool onEngineThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // Safe from any thread.
    SearchStatistics statistics() const;

private:
    using Clock = DeviceTable::Clock;

    // What the engine thread works on; only that thread touches it.
    struct Search
    {
        std::uint64_t generation = 0;
        std::chrono::milliseconds period{0};
        std::uint32_t nonce = 0;
        Clock::time_point nextRound;
        DeviceTable table;
        // The socket's drop count when the last probe round went out.
        std::uint64_t droppedBefore = 0;
    };

    SearchEngine(QuarloSearchCallback callback, void* userData, int maxInterfaces,
                 std::unique_ptr<SearchSocket> socket, int wakeFd);

    void run();
    bool follow(Search& search);
    int pollTimeout(const Search& search, Clock::time_point restUntil) const;
    bool receive(Search& search, std::vector<DeviceTable::Event>& events);
    void probeRound(Search& search, std::vector<DeviceTable::Event>& events);
    std::size_t expectedCameras(Search& search);
    void sizeReceiveBuffer(std::size_t cameras);
    void deliver(const Search& search, std::vector<DeviceTable::Event>& events);
    void wake();
    void drainWake();

    const QuarloSearchCallback callback_;
    void* const userData_;
    const int maxInterfaces_;
    const std::unique_ptr<SearchSocket> socket_;
    const int wakeFd_;
    std::mt19937 random_;
    // Engine thread only: the receive buffer asked for last, and whether a kernel cap on
    // it has been reported.
    int receiveBufferAsked_ = 0;
    bool receiveCapReported_ = false;

    // Written by the engine thread, read by statistics().
    std::atomic<std::uint64_t> lostAnswers_{0};
    std::atomic<int> receiveBufferBytes_{0};
    std::atomic<std::uint16_t> answerDelayMs_{0};

    // Control state, shared between the engine thread and the callers.
    std::mutex mutex_;
    std::condition_variable callbackDone_;
    std::uint64_t generation_ = 0;
    std::chrono::milliseconds period_{0};
    bool quitting_ = false;
    bool inCallback_ = false;
    std::uint64_t callbackGeneration_ = 0;

    std::thread thread_;
};

} // namespace galvorn::searchlib
