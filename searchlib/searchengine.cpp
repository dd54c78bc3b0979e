#include "searchlib/searchengine.h"

#include "platform/debuglog.h"
#include "platform/netif.h"
#include "searchlib/searchpolicy.h"
#include "searchlib/wire.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace galvorn::searchlib {

namespace {

// Datagrams read before the thread looks at its control state again.
constexpr std::size_t kReadsPerWake = 256;
// Longest single wait, so that a very long period never overflows poll's timeout.
constexpr std::chrono::milliseconds kLongestWait{60'000};
// After the socket has been read empty it rests this long: the answers of a large site
// gather in the receive buffer, which is sized to hold them, and one wake-up reads them
// together instead of one wake-up for each.
constexpr std::chrono::milliseconds kReadRest{10};

} // namespace

std::unique_ptr<SearchEngine> SearchEngine::create(QuarloSearchCallback callback, void* userData,
                                                   int maxInterfaces)
{
    if (!callback || maxInterfaces < 1)
        return nullptr;
    std::unique_ptr<SearchSocket> socket = SearchSocket::open();
    if (!socket)
        return nullptr;
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return nullptr;
    std::unique_ptr<SearchEngine> engine;
    try {
        engine.reset(
            new SearchEngine(callback, userData, maxInterfaces, std::move(socket), wakeFd));
    } catch (...) {
        ::close(wakeFd);
        throw;
    }
    engine->sizeReceiveBuffer(0);
    // The thread starts under the lock and takes it first, so that it sees thread_ set.
    std::lock_guard lock(engine->mutex_);
    engine->thread_ = std::thread([raw = engine.get()] { raw->run(); });
    return engine;
}

SearchEngine::SearchEngine(QuarloSearchCallback callback, void* userData, int maxInterfaces,
                           std::unique_ptr<SearchSocket> socket, int wakeFd)
    : callback_(callback), userData_(userData), maxInterfaces_(maxInterfaces),
      socket_(std::move(socket)), wakeFd_(wakeFd), random_(std::random_device{}())
{}

SearchEngine::~SearchEngine()
{
    if (thread_.joinable())
        quit();
    ::close(wakeFd_);
}

SearchStatistics SearchEngine::statistics() const
{
    return {lostAnswers_.load(), receiveBufferBytes_.load(), answerDelayMs_.load()};
}

int SearchEngine::startAuto(std::chrono::milliseconds period)
{
    if (period.count() <= 0)
        return QUARLO_SEARCH_ERROR;
    {
        std::lock_guard lock(mutex_);
        if (quitting_)
            return QUARLO_SEARCH_ERROR;
        ++generation_;
        period_ = period;
    }
    wake();
    return QUARLO_SEARCH_OK;
}

int SearchEngine::stopAuto()
{
    std::unique_lock lock(mutex_);
    if (quitting_)
        return QUARLO_SEARCH_ERROR;
    const std::uint64_t stopped = ++generation_;
    period_ = std::chrono::milliseconds{0};
    // On the engine thread the callback in progress is the caller itself; the thread
    // drops the rest of the stopped search once the callback returns.
    if (onEngineThread())
        return QUARLO_SEARCH_OK;
    lock.unlock();
    wake();
    lock.lock();
    callbackDone_.wait(lock, [&] { return !inCallback_ || callbackGeneration_ >= stopped; });
    return QUARLO_SEARCH_OK;
}

int SearchEngine::quit()
{
    if (onEngineThread())
        return QUARLO_SEARCH_ERROR;
    {
        std::lock_guard lock(mutex_);
        if (quitting_)
            return QUARLO_SEARCH_ERROR;
        quitting_ = true;
    }
    wake();
    thread_.join();
    return QUARLO_SEARCH_OK;
}

void SearchEngine::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void SearchEngine::drainWake()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
}

void SearchEngine::run()
{
    Search search;
    std::vector<DeviceTable::Event> events;
    Clock::time_point restUntil;
    while (follow(search)) {
        const bool resting = Clock::now() < restUntil;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {socket_->fd(), POLLIN, 0}};
        if (::poll(fds, resting ? 1 : 2,
                   pollTimeout(search, resting ? restUntil : Clock::time_point::max())) > 0) {
            if (fds[0].revents & POLLIN)
                drainWake();
            if (!resting && (fds[1].revents & POLLIN) && receive(search, events))
                restUntil = Clock::now() + kReadRest;
        }
        if (search.period.count() > 0 && Clock::now() >= search.nextRound)
            probeRound(search, events);
        deliver(search, events);
        events.clear();
    }
}

// Takes over what the callers asked for since the last look. False once quitting.
bool SearchEngine::follow(Search& search)
{
    std::lock_guard lock(mutex_);
    if (quitting_)
        return false;
    if (search.generation == generation_)
        return true;
    search.generation = generation_;
    search.period = period_;
    search.nonce = static_cast<std::uint32_t>(random_());
    search.nextRound = Clock::now();
    search.table.clear();
    search.droppedBefore = socket_->dropped();
    return true;
}

// Until the next probe round or the end of the socket's rest, whichever comes first.
int SearchEngine::pollTimeout(const Search& search, Clock::time_point restUntil) const
{
    const Clock::time_point until =
        search.period.count() > 0 ? std::min(search.nextRound, restUntil) : restUntil;
    if (until == Clock::time_point::max())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    return static_cast<int>(std::clamp(left, std::chrono::milliseconds{0}, kLongestWait).count());
}

// True when the socket was read empty, false when reading stopped at the batch limit.
bool SearchEngine::receive(Search& search, std::vector<DeviceTable::Event>& events)
{
    const auto now = Clock::now();
    // An answer equal to the camera's last one is compared where it lies in the receive
    // buffer: it only keeps the camera alive, and nothing of it is copied.
    const auto handle = [&](std::span<const std::uint8_t> datagram) {
        wire::AnswerView answer;
        if (search.period.count() <= 0 ||
            wire::decodeAnswerView(datagram, answer) != wire::Status::Ok ||
            answer.nonce != search.nonce)
            return;
        if (auto event = search.table.answer(answer.mac, answer.xml, now))
            events.push_back(std::move(*event));
    };
    std::size_t read = 0;
    for (std::size_t got = 1; got != 0 && read < kReadsPerWake; read += got)
        got = socket_->receive(kReadsPerWake - read, handle);
    lostAnswers_ = socket_->dropped();
    return read < kReadsPerWake;
}

void SearchEngine::probeRound(Search& search, std::vector<DeviceTable::Event>& events)
{
    const auto now = Clock::now();
    search.table.expire(now, kGonePeriods * search.period, events);
    const std::size_t expected = expectedCameras(search);
    sizeReceiveBuffer(expected);
    wire::Probe probe;
    probe.nonce = search.nonce;
    probe.answerDelayMs = answerDelayMs(expected, search.period);
    answerDelayMs_ = probe.answerDelayMs;
    socket_->sendProbe(wire::encodeProbe(probe), platform::multicastInterfaces(), maxInterfaces_);
    search.nextRound += search.period / kProbesPerPeriod;
    // A slow callback must not make the rounds catch up in a burst.
    if (search.nextRound <= now)
        search.nextRound = now + search.period / kProbesPerPeriod;
}

// The cameras tracked, and as many more as answers were lost since the last round: those
// are cameras that answered and will answer again.
std::size_t SearchEngine::expectedCameras(Search& search)
{
    const std::uint64_t dropped = socket_->dropped();
    const std::uint64_t lost = dropped - search.droppedBefore;
    search.droppedBefore = dropped;
    if (lost != 0) {
        platform::debugPrintf("search: %llu answers lost to a full receive buffer since the "
                              "last probe round (%llu in all), %zu cameras tracked",
                              static_cast<unsigned long long>(lost),
                              static_cast<unsigned long long>(dropped), search.table.size());
    }
    const std::uint64_t expected = search.table.size() + lost;
    return static_cast<std::size_t>(std::min<std::uint64_t>(expected, search.table.capacity()));
}

// Grows the receive buffer to hold the answers of `cameras` at once. A buffer the kernel
// caps is reported once, with the setting that lifts the cap.
void SearchEngine::sizeReceiveBuffer(std::size_t cameras)
{
    const int wanted = receiveBufferBytes(cameras);
    if (wanted <= receiveBufferAsked_)
        return;
    receiveBufferAsked_ = wanted;
    const int granted = socket_->resizeReceiveBuffer(wanted);
    receiveBufferBytes_ = granted;
    // The kernel reports twice the size it was asked for, for its own accounting.
    if (granted < 0 || granted / 2 >= wanted || receiveCapReported_)
        return;
    receiveCapReported_ = true;
    platform::debugPrintf("search: the kernel caps the receive buffer at %d bytes; %d are "
                          "wanted for %zu cameras. Raise the cap with: sysctl -w "
                          "net.core.rmem_max=%d",
                          granted / 2, wanted, cameras, wanted);
}

// Runs the callbacks without holding the lock. Stops at once when a start, a stop or quit
// has superseded the search the events belong to.
void SearchEngine::deliver(const Search& search, std::vector<DeviceTable::Event>& events)
{
    for (const auto& event : events) {
        {
            std::lock_guard lock(mutex_);
            if (quitting_ || generation_ != search.generation)
                return;
            inCallback_ = true;
            callbackGeneration_ = search.generation;
        }
        callback_(event.mac.text().c_str(), event.type, event.xml.c_str(), userData_);
        {
            std::lock_guard lock(mutex_);
            inCallback_ = false;
        }
        callbackDone_.notify_all();
    }
}

} // namespace galvorn::searchlib
