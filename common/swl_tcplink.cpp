#include "common/swl_tcplink.h"

#include "platform/debuglog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace galvorn::common {

namespace {

#define LINK_REPORT_ERROR() platform::debugSystemError(__FILE__, __LINE__)

using Clock = std::chrono::steady_clock;

// Received bytes are taken from the socket in pieces of this size.
constexpr std::size_t kReceiveChunk = 64 * 1024;
// One frame leaves in at most this many pieces: the frame header and the body's pieces.
constexpr std::size_t kMaxPieces = 8;

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

} // namespace

CSwlTcpLink::CSwlTcpLink(SWL_socket_t sock, const LinkLimits& limits)
    : sock_(sock), limits_(limits), rx_(kReceiveChunk)
{
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        LINK_REPORT_ERROR();
        broken_ = true;
    }
    if (sock_ != SWL_INVALID_SOCKET)
        SWL_SetNoDelay(sock_);
    lastReceiveMs_ = nowMs();
}

CSwlTcpLink::~CSwlTcpLink()
{
    Close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

int CSwlTcpLink::Start(LinkCallback callback, void* context, LinkMode mode)
{
    std::lock_guard lock(startMutex_);
    if (guardThread_.joinable())
        return 1;
    callback_ = callback;
    context_ = context;
    lastReceiveMs_ = nowMs();
    try {
        if (mode == LinkMode::IdleWatchdog)
            guardThread_ = std::thread(&CSwlTcpLink::watchdogLoop, this);
        else
            guardThread_ = std::thread(&CSwlTcpLink::keepAliveLoop, this);
    } catch (const std::system_error&) {
        return 1;
    }
    return 0;
}

int CSwlTcpLink::PrepareReceiving()
{
    std::lock_guard lock(startMutex_);
    return launchReceiveThread();
}

int CSwlTcpLink::StartReceiving()
{
    std::lock_guard lock(startMutex_);
    if (!receiveThread_.joinable() && launchReceiveThread() != 0)
        return 2;
    {
        std::lock_guard state(stateMutex_);
        if (receiving_)
            return 1;
        receiving_ = true;
    }
    stateChanged_.notify_all();
    return 0;
}

// Caller holds startMutex_.
int CSwlTcpLink::launchReceiveThread()
{
    if (receiveThread_.joinable())
        return 1;
    try {
        receiveThread_ = std::thread(&CSwlTcpLink::receiveLoop, this);
    } catch (const std::system_error&) {
        return 2;
    }
    return 0;
}

int CSwlTcpLink::SendMessage(std::span<const std::uint8_t> body)
{
    return SendMessage({body});
}

int CSwlTcpLink::SendMessage(std::initializer_list<std::span<const std::uint8_t>> pieces)
{
    if (pieces.size() + 1 > kMaxPieces)
        return -1;
    std::uint64_t length = 0;
    for (const auto& piece : pieces)
        length += piece.size();
    if (length == 0 || length > Frame::kMaxMessageLength)
        return -1;
    const auto header = encodeFrameHeader(static_cast<std::uint32_t>(length));
    iovec vector[kMaxPieces];
    std::size_t count = 0;
    vector[count++] = {const_cast<std::uint8_t*>(header.data()), header.size()};
    for (const auto& piece : pieces) {
        if (!piece.empty())
            vector[count++] = {const_cast<std::uint8_t*>(piece.data()), piece.size()};
    }
    return sendPieces(std::span<iovec>(vector, count));
}

int CSwlTcpLink::SendFragment(FragmentHeader header, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > Frame::kMaxMessageLength)
        return -1;
    header.fragmentLength = static_cast<std::uint32_t>(bytes.size());
    const auto frame = encodeFrameHeader(Frame::kFragmentMarker);
    const auto fragment = encodeFragmentHeader(header);
    iovec vector[3] = {{const_cast<std::uint8_t*>(frame.data()), frame.size()},
                       {const_cast<std::uint8_t*>(fragment.data()), fragment.size()},
                       {const_cast<std::uint8_t*>(bytes.data()), bytes.size()}};
    return sendPieces(std::span<iovec>(vector, bytes.empty() ? 2 : 3));
}

int CSwlTcpLink::SendKeepAlive()
{
    const auto header = encodeFrameHeader(Frame::kKeepAlive);
    iovec vector[1] = {{const_cast<std::uint8_t*>(header.data()), header.size()}};
    return sendPieces(vector);
}

int CSwlTcpLink::sendPieces(std::span<iovec> pieces)
{
    std::lock_guard lock(sendMutex_);
    auto lastProgress = Clock::now();
    while (!pieces.empty()) {
        if (broken_)
            return -1;
        const ssize_t sent = SWL_SendVector(sock_, pieces, MSG_DONTWAIT);
        if (sent > 0) {
            std::size_t done = static_cast<std::size_t>(sent);
            while (!pieces.empty() && done >= pieces.front().iov_len) {
                done -= pieces.front().iov_len;
                pieces = pieces.subspan(1);
            }
            if (!pieces.empty()) {
                pieces.front().iov_base =
                    static_cast<std::uint8_t*>(pieces.front().iov_base) + done;
                pieces.front().iov_len -= done;
            }
            lastProgress = Clock::now();
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && SWL_IsWouldBlock()) {
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
            const long long left = limits_.noProgressMs - waited.count();
            if (left <= 0 || waitForSocket(POLLOUT, static_cast<int>(left)) < 0) {
                markBroken();
                return -1;
            }
            continue;
        }
        LINK_REPORT_ERROR();
        markBroken();
        return -1;
    }
    return 0;
}

CSwlTcpLink::Step CSwlTcpLink::feedReader(std::vector<std::uint8_t>& message)
{
    std::size_t used = 0;
    FrameReader::Event event;
    try {
        event = reader_.feed(
            std::span<const std::uint8_t>(rx_.data() + rxBegin_, rxEnd_ - rxBegin_), used);
        if (event == FrameReader::Event::Message)
            message = reader_.takeMessage();
    } catch (const std::bad_alloc&) {
        markBroken();
        return Step::Broken;
    }
    rxBegin_ += used;
    switch (event) {
    case FrameReader::Event::Message:
        return Step::Message;
    case FrameReader::Event::KeepAlive:
        return Step::KeepAlive;
    case FrameReader::Event::Fragment:
        return Step::Fragment;
    case FrameReader::Event::BadMagic:
        return Step::BadMagic;
    case FrameReader::Event::TooLong:
        platform::debugLine("link: declared length above the cap, link broken");
        markBroken();
        return Step::Broken;
    case FrameReader::Event::NeedMore:
        break;
    }
    return Step::Idle;
}

CSwlTcpLink::Step CSwlTcpLink::receiveFrame(std::vector<std::uint8_t>& message, bool blocking)
{
    auto lastProgress = Clock::now();
    for (;;) {
        if (broken_)
            return Step::Broken;
        if (rxBegin_ < rxEnd_) {
            const Step step = feedReader(message);
            if (step != Step::Idle)
                return step;
        }
        rxBegin_ = rxEnd_ = 0;
        if (drained_ && !blocking) {
            // The socket held nothing more at the last read: wait for bytes instead of
            // reading an empty socket.
            if (reader_.atBoundary())
                return Step::Idle;
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
            const long long left = limits_.noProgressMs - waited.count();
            if (left <= 0) {
                markBroken();
                return Step::Broken;
            }
            waitReadable(static_cast<int>(left));
            continue;
        }
        const ssize_t received =
            SWL_Recv(sock_, rx_.data(), rx_.size(), blocking ? 0 : MSG_DONTWAIT);
        if (received > 0) {
            rxEnd_ = static_cast<std::size_t>(received);
            // A read that took less than it could emptied the socket.
            drained_ = rxEnd_ < rx_.size();
            lastReceiveMs_ = nowMs();
            lastProgress = Clock::now();
            continue;
        }
        if (received == 0) {
            // A break ends a blocking read by shutting the reading side down.
            if (broken_)
                return Step::Broken;
            platform::debugLine("link: peer closed the connection");
            markBroken();
            return Step::Closed;
        }
        if (errno == EINTR)
            continue;
        if (!SWL_IsWouldBlock()) {
            LINK_REPORT_ERROR();
            markBroken();
            return Step::Broken;
        }
        if (blocking) {
            // The read waited noProgressMs without a byte.
            if (reader_.atBoundary())
                return Step::Idle;
            markBroken();
            return Step::Broken;
        }
        drained_ = true;
    }
}

int CSwlTcpLink::RecvMessage(std::vector<std::uint8_t>& message, bool wait, std::uint32_t timeoutMs)
{
    const auto start = Clock::now();
    std::unique_lock lock(recvMutex_, std::defer_lock);
    if (wait && timeoutMs != 0) {
        // A system-clock deadline waits in pthread_mutex_timedlock, which the thread
        // sanitizer follows; a steady one would not be seen as a lock.
        if (!lock.try_lock_until(std::chrono::system_clock::now() +
                                 std::chrono::milliseconds(timeoutMs)))
            return LinkResult::kNothing;
    } else {
        lock.lock();
    }
    // A look without waiting reads the socket whatever the last read found.
    if (!wait)
        drained_ = false;
    for (;;) {
        const Step step = receiveFrame(message, false);
        switch (step) {
        case Step::Message:
            return LinkResult::kMessage;
        case Step::Closed:
            return LinkResult::kPeerClosed;
        case Step::Broken:
        case Step::BadMagic:
            return LinkResult::kBroken;
        case Step::Fragment:
            return LinkResult::kNothing;
        case Step::KeepAlive:
        case Step::Idle:
            break;
        }
        if (!wait)
            return LinkResult::kNothing;
        int left = -1;
        if (timeoutMs != 0) {
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            if (waited.count() > static_cast<long long>(timeoutMs))
                return LinkResult::kNothing;
            left = static_cast<int>(timeoutMs - waited.count() + 1);
        }
        if (step == Step::Idle)
            waitReadable(left);
    }
}

int CSwlTcpLink::RecvExactTimed(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs)
{
    std::lock_guard lock(recvMutex_);
    std::size_t filled = 0;
    const std::size_t buffered = std::min(buffer.size(), rxEnd_ - rxBegin_);
    std::copy_n(rx_.begin() + static_cast<std::ptrdiff_t>(rxBegin_), buffered, buffer.begin());
    rxBegin_ += buffered;
    filled += buffered;
    auto lastProgress = Clock::now();
    while (filled < buffer.size()) {
        if (broken_)
            return LinkResult::kBroken;
        const ssize_t received =
            SWL_Recv(sock_, buffer.data() + filled, buffer.size() - filled, MSG_DONTWAIT);
        if (received > 0) {
            filled += static_cast<std::size_t>(received);
            lastReceiveMs_ = nowMs();
            lastProgress = Clock::now();
            continue;
        }
        if (received == 0) {
            platform::debugLine("link: peer closed the connection");
            markBroken();
            return LinkResult::kPeerClosed;
        }
        if (errno == EINTR)
            continue;
        if (!SWL_IsWouldBlock()) {
            LINK_REPORT_ERROR();
            markBroken();
            return LinkResult::kBroken;
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
        const long long left = static_cast<long long>(timeoutMs) - waited.count();
        if (left <= 0) {
            markBroken();
            return LinkResult::kNothing;
        }
        waitForSocket(POLLIN, static_cast<int>(left));
    }
    return LinkResult::kMessage;
}

int CSwlTcpLink::waitForSocket(short events, int timeoutMs)
{
    pollfd entries[2] = {{sock_, events, 0}, {wakeFd_, POLLIN, 0}};
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<long long>(0, left.count()));
        }
        const int ready = ::poll(entries, 2, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || entries[1].revents != 0)
            return -1;
        return ready > 0 ? 1 : 0;
    }
}

int CSwlTcpLink::waitReadable(int timeoutMs)
{
    const int ready = waitForSocket(POLLIN, timeoutMs);
    if (ready > 0)
        drained_ = false;
    return ready;
}

void CSwlTcpLink::markBroken() noexcept
{
    if (broken_.exchange(true))
        return;
    const SWL_socket_t blocking = blockingSocket_.load();
    if (blocking != SWL_INVALID_SOCKET)
        SWL_Shutdown(blocking, SHUT_RD);
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    // Taking the lock orders the flag before a waiter's next look at it.
    {
        std::lock_guard lock(stateMutex_);
    }
    stateChanged_.notify_all();
}

void CSwlTcpLink::reportLoss()
{
    if (callback_)
        callback_(context_, nullptr, -1);
}

bool CSwlTcpLink::awaitRelease()
{
    std::unique_lock lock(stateMutex_);
    stateChanged_.wait(lock, [this] { return receiving_ || stopping_ || broken_; });
    return receiving_ && !stopping_;
}

bool CSwlTcpLink::enterBlockingReads()
{
    const int limitMs = std::max(limits_.noProgressMs, 1);
    const timeval limit{limitMs / 1000, (limitMs % 1000) * 1000};
    if (::setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
        return false;
    const int flags = ::fcntl(sock_, F_GETFL);
    if (flags < 0 || ::fcntl(sock_, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return false;
    blockingSocket_ = sock_;
    // A break that came before the line above found no blocked read to end.
    if (broken_)
        SWL_Shutdown(sock_, SHUT_RD);
    return true;
}

void CSwlTcpLink::receiveLoop()
{
    if (!awaitRelease())
        return;
    const bool blocking = enterBlockingReads();
    std::vector<std::uint8_t> message;
    for (;;) {
        Step step;
        {
            std::lock_guard lock(recvMutex_);
            step = receiveFrame(message, blocking);
        }
        if (step == Step::Message) {
            if (callback_)
                callback_(context_, message.data(), static_cast<std::int32_t>(message.size()));
            continue;
        }
        if (step == Step::KeepAlive || step == Step::Fragment)
            continue;
        if (step != Step::Idle || (!blocking && waitReadable(-1) < 0))
            break;
    }
    // A stream that cannot be read any further (closed, broken or out of step after a
    // wrong magic) is a lost link; the keep-alive sender or watchdog reports it.
    markBroken();
}

void CSwlTcpLink::keepAliveLoop()
{
    std::unique_lock lock(stateMutex_);
    for (;;) {
        stateChanged_.wait_for(lock, std::chrono::milliseconds(limits_.keepAliveIntervalMs),
                               [this] { return stopping_ || broken_; });
        if (stopping_)
            return;
        lock.unlock();
        if (broken_ || SendKeepAlive() != 0) {
            markBroken();
            reportLoss();
            return;
        }
        lock.lock();
    }
}

void CSwlTcpLink::watchdogLoop()
{
    std::unique_lock lock(stateMutex_);
    for (;;) {
        const auto deadline = Clock::time_point(std::chrono::milliseconds(lastReceiveMs_.load())) +
                              std::chrono::milliseconds(limits_.idleLimitMs);
        stateChanged_.wait_until(lock, deadline, [this] { return stopping_ || broken_; });
        if (stopping_)
            return;
        if (broken_ || Clock::now() >= Clock::time_point(std::chrono::milliseconds(
                                           lastReceiveMs_.load() + limits_.idleLimitMs))) {
            lock.unlock();
            markBroken();
            reportLoss();
            return;
        }
    }
}

void CSwlTcpLink::stopThreads()
{
    {
        std::lock_guard lock(stateMutex_);
        stopping_ = true;
    }
    stateChanged_.notify_all();
    markBroken();
    std::lock_guard lock(startMutex_);
    if (receiveThread_.joinable())
        receiveThread_.join();
    if (guardThread_.joinable())
        guardThread_.join();
}

void CSwlTcpLink::Close()
{
    stopThreads();
    std::scoped_lock lock(sendMutex_, recvMutex_);
    if (sock_ == SWL_INVALID_SOCKET)
        return;
    SWL_Shutdown(sock_, SHUT_RDWR);
    SWL_CloseSocket(sock_);
}

SWL_socket_t CSwlTcpLink::Detach()
{
    stopThreads();
    std::scoped_lock lock(sendMutex_, recvMutex_);
    const SWL_socket_t sock = sock_;
    sock_ = SWL_INVALID_SOCKET;
    return sock;
}

} // namespace galvorn::common
