#pragma once

#include "common/swl_public.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::common {

// Limits of the connect procedure.
struct ConnectLimits
{
    // One wait of a connect lasts at most this long; a longer time limit is cut into
    // slices of this length so that a stop request is seen between them.
    static constexpr int kSliceMs = 1000;
    // The bound fallback gives up after this long, or after this many attempts, and
    // sleeps this long before each attempt.
    static constexpr int kFallbackLimitMs = 60000;
    static constexpr int kFallbackMaxAttempts = 31;
    static constexpr int kFallbackSleepMs = 1000;
    // The local port the bound fallback connects from.
    static constexpr std::uint16_t kFallbackLocalPort = 9088;
};

// The waits of one connect with the given time limit: whole slices of kSliceMs, then the
// remainder. 3000 ms give three waits of 1000 ms, 2500 ms give 1000, 1000 and 500 ms.
std::vector<int> ConnectSlices(int timeoutMs);

// Produces one connected, non-blocking socket to a device within a time limit. A plain
// connect comes first. When it neither succeeds nor is refused, the bound fallback tries
// again from each local IPv4 address in turn, bound to local port 9088, on a fresh
// socket per attempt. A refusal is a definite answer and ends the procedure at once.
//
// Once a bound fallback has succeeded, its local address is remembered for the rest of
// the process and every later connect of any procedure object starts with it.
//
// One object serves one connection attempt: create, Connect() once, destroy.
class CSwlConnectProc
{
public:
    // peerAddress is dotted IPv4 text; a text that does not parse makes Connect() fail.
    CSwlConnectProc(std::string_view peerAddress, std::uint16_t peerPort);
    ~CSwlConnectProc();

    CSwlConnectProc(const CSwlConnectProc&) = delete;
    CSwlConnectProc& operator=(const CSwlConnectProc&) = delete;

    // A connected socket that the caller owns from now on, or SWL_INVALID_SOCKET.
    SWL_socket_t Connect(int timeoutMs);

    // Callable from any thread: ends the waits of a running Connect() after the current
    // slice and the fallback's sleep at once; Connect() then fails, and so does a
    // Connect() that begins after the request.
    void RequestStop();

    // The local address remembered by a successful bound fallback; empty before one.
    static std::string RememberedLocalAddress();

private:
    SWL_socket_t connectPlain(int timeoutMs);
    SWL_socket_t connectBound(int timeoutMs);
    // Starts a connect on `sock` and waits for it in slices; one of the SWL_ outcomes.
    int connectInSlices(SWL_socket_t sock, int timeoutMs);
    // Sleeps the fallback's pause; false when a stop request cut it short.
    bool pauseBeforeAttempt();
    bool stopRequested();

    std::string peerText_;
    std::uint32_t peerAddress_ = 0; // host byte order
    bool peerValid_ = false;
    std::uint16_t peerPort_ = 0;

    std::mutex connectMutex_;
    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stop_ = false;
};

} // namespace galvorn::common
