#pragma once

#include "common/framereader.h"
#include "common/swl_public.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace galvorn::common {

// Receives each whole message as (context, message, length), and (context, nullptr, -1)
// once when the link is lost. The message is valid only during the call.
using LinkCallback = void (*)(void* context, const std::uint8_t* message, std::int32_t length);

// Results of RecvMessage() and RecvExactTimed().
struct LinkResult
{
    static constexpr int kMessage = 0;
    // RecvMessage(): no whole message (yet). RecvExactTimed(): the time ran out.
    static constexpr int kNothing = 1;
    static constexpr int kPeerClosed = 2;
    static constexpr int kBroken = 3;
};

// The time limits of one link; the defaults are the protocol's, tests shorten them.
struct LinkLimits
{
    // A frame that has begun to arrive, or to leave, must make progress within this.
    int noProgressMs = 20000;
    // The keep-alive sender's interval.
    int keepAliveIntervalMs = 1000;
    // The idle watchdog's limit on silence from the peer.
    int idleLimitMs = 20000;
};

enum class LinkMode
{
    // Sends a keep-alive frame every second and reports a broken link.
    KeepAliveSender = 0,
    // Breaks the link after 20 s without received data and reports it.
    IdleWatchdog = 1,
};

// One connected device socket turned into whole messages. Frames leave under a send
// lock, header and body in one gather write, so each is atomic against other senders
// (the keep-alive sender included). Receiving is serialised by a receive lock and
// reassembles fragments. The owner learns of messages and of the loss of the link
// through one callback, called on the link's own threads.
//
// The receive thread reads with the socket in blocking mode, so a reply costs one read
// and no poll(2) before it; every other read and every send passes MSG_DONTWAIT. A
// break shuts the socket's reading side down to end that thread's read.
//
// Broken is final: every later send fails and every receive returns kBroken. A link
// owns its socket from creation and closes it exactly once, in Close(), unless
// Detach() gave it up first. Every wait blocks in poll(2) or on a condition variable;
// Close() wakes them all.
class CSwlTcpLink
{
public:
    // Takes ownership of the connected socket and turns on TCP_NODELAY for it.
    explicit CSwlTcpLink(SWL_socket_t sock, const LinkLimits& limits = {});
    // Close().
    ~CSwlTcpLink();

    CSwlTcpLink(const CSwlTcpLink&) = delete;
    CSwlTcpLink& operator=(const CSwlTcpLink&) = delete;

    // Starts the keep-alive sender or the idle watchdog. 0 started; 1 already started or
    // the thread could not be started.
    int Start(LinkCallback callback, void* context, LinkMode mode);
    // Starts the receive thread parked: it touches nothing until StartReceiving(), so a
    // caller can pay for the thread's start while it waits for something else (a login
    // reply). 0 started; 1 already started; 2 the thread could not be started.
    int PrepareReceiving();
    // Lets the receive thread, started here unless PrepareReceiving() did, hand every
    // message to the callback given to Start(). 0 started; 1 already running; 2 the
    // thread could not be started.
    int StartReceiving();

    // Sends one frame whose body is the pieces in order. 0 sent; -1 failed (the link is
    // then broken, unless the body was too long to send at all).
    int SendMessage(std::span<const std::uint8_t> body);
    int SendMessage(std::initializer_list<std::span<const std::uint8_t>> pieces);
    // Sends one fragment frame; the header's fragment length is set from `bytes`.
    int SendFragment(FragmentHeader header, std::span<const std::uint8_t> bytes);
    int SendKeepAlive();

    // Receives one message into `message` (LinkResult codes). Without `wait` at most one
    // frame is taken: a keep-alive or a fragment that completes nothing gives kNothing,
    // as does an idle socket. With `wait`, keep-alives are skipped until a message
    // arrives or more than timeoutMs have passed since the call began (0: no limit); a
    // fragment that completes nothing still ends the wait with kNothing. A frame whose
    // magic is wrong gives kBroken without breaking the link by itself. While the
    // receive thread runs it is the reader: a call waits its turn behind that thread's
    // read, within timeoutMs.
    int RecvMessage(std::vector<std::uint8_t>& message, bool wait, std::uint32_t timeoutMs);
    // Reads exactly buffer.size() raw bytes; the link breaks when no byte arrives for
    // timeoutMs (result kNothing). Never reads beyond the bytes asked for, so the socket
    // can be handed on after it.
    int RecvExactTimed(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs);

    bool IsBroken() const noexcept { return broken_.load(); }

    // Callable from any thread: breaks the link at once. Every wait ends, every later
    // send and receive fails, and the keep-alive sender or watchdog reports the loss. The
    // socket stays open until Close().
    void Abort() noexcept { markBroken(); }

    // Stops the threads (the keep-alive sender and watchdog end without reporting a
    // loss), shuts the socket down and closes it. Idempotent. Must not be called from
    // the callback.
    void Close();
    // Like Close() but hands the socket, still open, to the caller; the link is broken
    // afterwards. After StartReceiving() the socket's reading side is shut down.
    // SWL_INVALID_SOCKET when the link no longer holds one.
    SWL_socket_t Detach();

private:
    enum class Step
    {
        Message,
        KeepAlive,
        Fragment,
        Idle,
        Closed,
        Broken,
        BadMagic,
    };

    int sendPieces(std::span<iovec> pieces);
    int launchReceiveThread();
    // Takes one frame; Idle when nothing of a frame is there. With `blocking` (the
    // receive thread, socket in blocking mode) a read waits for bytes itself, at most
    // noProgressMs (SO_RCVTIMEO); Idle then means that time passed at a frame boundary.
    // Caller holds recvMutex_.
    Step receiveFrame(std::vector<std::uint8_t>& message, bool blocking);
    Step feedReader(std::vector<std::uint8_t>& message);
    // Waits until the socket shows `events`: 1 ready, 0 time-out, -1 woken by a broken
    // link or failed. timeoutMs < 0 waits without limit.
    int waitForSocket(short events, int timeoutMs);
    // The same for bytes to read; readiness lets the next receive read the socket again.
    int waitReadable(int timeoutMs);
    void markBroken() noexcept;
    void reportLoss();
    void stopThreads();

    // The receive thread: false when the link ended before StartReceiving().
    bool awaitRelease();
    // Puts the socket in blocking mode with noProgressMs as its read limit. False when
    // it cannot; the thread then waits in poll(2) as other readers do.
    bool enterBlockingReads();
    void receiveLoop();
    void keepAliveLoop();
    void watchdogLoop();

    SWL_socket_t sock_;
    const LinkLimits limits_;
    int wakeFd_ = -1;

    LinkCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> broken_{false};
    std::atomic<long long> lastReceiveMs_{0};

    std::mutex sendMutex_;
    // Timed, so that a reader with a limit gives up behind the receive thread's read.
    std::timed_mutex recvMutex_;
    std::mutex startMutex_;
    std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    bool stopping_ = false;  // under stateMutex_
    bool receiving_ = false; // under stateMutex_: StartReceiving() released the thread
    std::thread receiveThread_;
    std::thread guardThread_;

    // Bytes received but not yet parsed; under recvMutex_.
    FrameReader reader_;
    std::vector<std::uint8_t> rx_;
    std::size_t rxBegin_ = 0;
    std::size_t rxEnd_ = 0;
    // The last read found the socket empty, or emptied it; cleared when poll(2) reports
    // bytes. The receive thread waits outside recvMutex_, hence atomic.
    std::atomic<bool> drained_{false};
    // The socket whose reads block, once the receive thread switched it; a break shuts
    // its reading side down.
    std::atomic<SWL_socket_t> blockingSocket_{SWL_INVALID_SOCKET};
};

} // namespace galvorn::common
