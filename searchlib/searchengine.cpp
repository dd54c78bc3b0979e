#include "searchlib/searchengine.h"

#include "platform/netif.h"
#include "searchlib/wire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace galvorn::searchlib {

namespace {

// Room for a burst of answers from a few hundred cameras between two reads.
constexpr int kReceiveBufferBytes = 1 << 20;
// Datagrams read before the thread looks at its control state again.
constexpr int kReadBatch = 256;
// Longest single wait, so that a very long period never overflows poll's timeout.
constexpr std::chrono::milliseconds kLongestWait{60'000};

int openSearchSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const unsigned char ttl = wire::kMulticastTtl;
    // Cameras simulated on this host answer a probe only if it loops back.
    const unsigned char loop = 1;
    const int bufferBytes = kReceiveBufferBytes;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0) {
        ::close(fd);
        return -1;
    }
    // The forced size needs administrator rights; the plain one is the fallback.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    return fd;
}

} // namespace

std::unique_ptr<SearchEngine> SearchEngine::create(QuarloSearchCallback callback, void* userData,
                                                   int maxInterfaces)
{
    if (!callback || maxInterfaces < 1)
        return nullptr;
    const int socketFd = openSearchSocket();
    if (socketFd < 0)
        return nullptr;
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        ::close(socketFd);
        return nullptr;
    }
    std::unique_ptr<SearchEngine> engine;
    try {
        engine.reset(new SearchEngine(callback, userData, maxInterfaces, socketFd, wakeFd));
    } catch (...) {
        ::close(wakeFd);
        ::close(socketFd);
        throw;
    }
    // The thread starts under the lock and takes it first, so that it sees thread_ set.
    std::lock_guard lock(engine->mutex_);
    engine->thread_ = std::thread([raw = engine.get()] { raw->run(); });
    return engine;
}

SearchEngine::SearchEngine(QuarloSearchCallback callback, void* userData, int maxInterfaces,
                           int socketFd, int wakeFd)
    : callback_(callback), userData_(userData), maxInterfaces_(maxInterfaces), socket_(socketFd),
      wakeFd_(wakeFd), receiveBuffer_(wire::kMaxDatagram + 1), random_(std::random_device{}())
{}

SearchEngine::~SearchEngine()
{
    if (thread_.joinable())
        quit();
    ::close(wakeFd_);
    ::close(socket_);
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
    while (follow(search)) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, pollTimeout(search)) > 0) {
            if (fds[1].revents & POLLIN)
                drainWake();
            if (fds[0].revents & POLLIN)
                receive(search, events);
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
    return true;
}

int SearchEngine::pollTimeout(const Search& search) const
{
    if (search.period.count() <= 0)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(search.nextRound - Clock::now());
    return static_cast<int>(std::clamp(left, std::chrono::milliseconds{0}, kLongestWait).count());
}

void SearchEngine::receive(Search& search, std::vector<DeviceTable::Event>& events)
{
    for (int i = 0; i < kReadBatch; ++i) {
        // MSG_TRUNC makes recv report the datagram's full length, so that an oversized one
        // is seen as such rather than as a cut-off copy.
        const ssize_t length =
            ::recv(socket_, receiveBuffer_.data(), receiveBuffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (length < 0)
            return;
        if (search.period.count() <= 0)
            continue;
        const auto size = std::min(static_cast<std::size_t>(length), receiveBuffer_.size());
        wire::Answer answer;
        if (wire::decodeAnswer({receiveBuffer_.data(), size}, answer) != wire::Status::Ok)
            continue;
        if (answer.nonce != search.nonce)
            continue;
        if (auto event = search.table.answer(answer.mac, std::move(answer.xml), Clock::now()))
            events.push_back(std::move(*event));
    }
}

void SearchEngine::probeRound(Search& search, std::vector<DeviceTable::Event>& events)
{
    const auto now = Clock::now();
    search.table.expire(now, kGonePeriods * search.period, events);
    sendProbes(search);
    search.nextRound += search.period / kProbesPerPeriod;
    // A slow callback must not make the rounds catch up in a burst.
    if (search.nextRound <= now)
        search.nextRound = now + search.period / kProbesPerPeriod;
}

void SearchEngine::sendProbes(const Search& search)
{
    const std::vector<std::uint8_t> probe = wire::encodeProbe({search.nonce});
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_addr.s_addr = htonl(wire::kGroup);
    group.sin_port = htons(wire::kPort);
    int sent = 0;
    for (const auto& netif : platform::multicastInterfaces()) {
        if (sent++ == maxInterfaces_)
            break;
        ip_mreqn via{};
        via.imr_address.s_addr = htonl(netif.address);
        via.imr_ifindex = static_cast<int>(netif.index);
        if (::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0)
            continue;
        // A lost probe is repeated by the next round; nothing else to do on failure.
        ::sendto(socket_, probe.data(), probe.size(), 0, reinterpret_cast<const sockaddr*>(&group),
                 sizeof group);
    }
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
