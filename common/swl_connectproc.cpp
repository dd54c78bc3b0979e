#include "common/swl_connectproc.h"

#include "platform/debuglog.h"
#include "platform/netif.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <strings.h>
#include <vector>

namespace galvorn::common {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex rememberedMutex;
std::string rememberedAddress;

std::string remembered()
{
    std::lock_guard lock(rememberedMutex);
    return rememberedAddress;
}

void remember(const std::string& address)
{
    std::lock_guard lock(rememberedMutex);
    rememberedAddress = address;
}

long long tickMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = htonl(address);
    return result;
}

// The host's own IPv4 addresses, in the order the system lists them, without repeats.
std::vector<std::string> hostAddresses()
{
    std::vector<std::string> addresses;
    for (const platform::Ipv4Interface& entry : platform::ipv4Interfaces()) {
        if (!entry.up)
            continue;
        const std::string text = platform::ipv4Text(entry.address);
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.push_back(text);
    }
    return addresses;
}

} // namespace

std::vector<int> ConnectSlices(int timeoutMs)
{
    std::vector<int> slices(static_cast<std::size_t>(timeoutMs / ConnectLimits::kSliceMs),
                            ConnectLimits::kSliceMs);
    if (timeoutMs % ConnectLimits::kSliceMs != 0)
        slices.push_back(timeoutMs % ConnectLimits::kSliceMs);
    return slices;
}

CSwlConnectProc::CSwlConnectProc(std::string_view peerAddress, std::uint16_t peerPort)
    : peerText_(peerAddress), peerPort_(peerPort)
{
    peerValid_ = platform::parseIpv4(peerText_, peerAddress_);
}

CSwlConnectProc::~CSwlConnectProc()
{
    RequestStop();
    // A Connect() running on another thread holds this until it has given up.
    std::lock_guard lock(connectMutex_);
}

void CSwlConnectProc::RequestStop()
{
    {
        std::lock_guard lock(stopMutex_);
        stop_ = true;
    }
    stopChanged_.notify_all();
}

bool CSwlConnectProc::stopRequested()
{
    std::lock_guard lock(stopMutex_);
    return stop_;
}

std::string CSwlConnectProc::RememberedLocalAddress()
{
    return remembered();
}

SWL_socket_t CSwlConnectProc::Connect(int timeoutMs)
{
    std::lock_guard lock(connectMutex_);
    if (!peerValid_ || timeoutMs < 0 || stopRequested())
        return SWL_INVALID_SOCKET;
    platform::debugPrintf("begin Connect %lld", tickMs());
    if (!remembered().empty())
        return connectBound(timeoutMs);
    return connectPlain(timeoutMs);
}

SWL_socket_t CSwlConnectProc::connectPlain(int timeoutMs)
{
    SWL_socket_t sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    if (sock == SWL_INVALID_SOCKET)
        return SWL_INVALID_SOCKET;
    const int outcome = connectInSlices(sock, timeoutMs);
    platform::debugPrintf("end Connect %lld", tickMs());
    if (outcome == SWL_CONNECTED)
        return sock;
    // The socket has tried to connect and is bound to an ephemeral port now; it could
    // never be bound again, so the fallback starts afresh.
    SWL_CloseSocket(sock);
    if (outcome == SWL_REFUSED || stopRequested())
        return SWL_INVALID_SOCKET;
    return connectBound(timeoutMs);
}

SWL_socket_t CSwlConnectProc::connectBound(int timeoutMs)
{
    const std::vector<std::string> addresses = hostAddresses();
    const auto start = Clock::now();
    int attempts = 0;
    std::size_t next = 0;
    for (;;) {
        std::string local = remembered();
        if (local.empty()) {
            if (next >= addresses.size())
                return SWL_INVALID_SOCKET;
            local = addresses[next++];
        }
        platform::debugPrintf("ip index = %d ip=%s", attempts, local.c_str());
        if (Clock::now() - start >= std::chrono::milliseconds(ConnectLimits::kFallbackLimitMs))
            return SWL_INVALID_SOCKET;
        if (!pauseBeforeAttempt())
            return SWL_INVALID_SOCKET;
        if (attempts >= ConnectLimits::kFallbackMaxAttempts)
            return SWL_INVALID_SOCKET;
        ++attempts;
        std::uint32_t localAddress = 0;
        if (::strcasecmp(local.c_str(), "0.0.0.0") == 0 ||
            !platform::parseIpv4(local, localAddress))
            continue;

        SWL_socket_t sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
        if (sock == SWL_INVALID_SOCKET)
            return SWL_INVALID_SOCKET;
        const sockaddr_in bound = socketAddress(localAddress, ConnectLimits::kFallbackLocalPort);
        if (SWL_Bind(sock, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
            platform::debugPrintf("ip index = %d ip=%s toip:%s error:%d", attempts, local.c_str(),
                                  peerText_.c_str(), errno);
            platform::debugSystemError(__FILE__, __LINE__);
            SWL_CloseSocket(sock);
            continue;
        }
        const int outcome = connectInSlices(sock, timeoutMs);
        if (outcome == SWL_CONNECTED) {
            remember(local);
            return sock;
        }
        SWL_CloseSocket(sock);
        if (outcome == SWL_REFUSED || stopRequested())
            return SWL_INVALID_SOCKET;
    }
}

int CSwlConnectProc::connectInSlices(SWL_socket_t sock, int timeoutMs)
{
    const sockaddr_in peer = socketAddress(peerAddress_, peerPort_);
    int outcome = SWL_Connect(sock, reinterpret_cast<const sockaddr*>(&peer), sizeof peer, 0);
    if (outcome != SWL_TIMED_OUT)
        return outcome;
    for (const int slice : ConnectSlices(timeoutMs)) {
        outcome = SWL_WaitWritable(sock, slice);
        if (outcome != SWL_TIMED_OUT || stopRequested())
            return outcome;
    }
    return SWL_TIMED_OUT;
}

bool CSwlConnectProc::pauseBeforeAttempt()
{
    std::unique_lock lock(stopMutex_);
    return !stopChanged_.wait_for(lock, std::chrono::milliseconds(ConnectLimits::kFallbackSleepMs),
                                  [this] { return stop_; });
}

} // namespace galvorn::common
