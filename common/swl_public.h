#pragma once

#include <cstddef>
#include <span>
#include <sys/socket.h>
#include <sys/types.h>

// The socket layer under the device connection: thin wrappers over the POSIX socket calls
// that the connect procedure and the message link need. Every socket made here is an
// IPv4 stream socket in non-blocking mode with SO_REUSEADDR set.

using SWL_socket_t = int;
inline constexpr SWL_socket_t SWL_INVALID_SOCKET = -1;

// Outcomes of a connect and of waiting for one.
inline constexpr int SWL_CONNECTED = 0;
// Not connected within the time; with a time limit of 0: started, outcome not yet known.
inline constexpr int SWL_TIMED_OUT = -1;
// The peer refused the connection: a definite answer, not worth another try.
inline constexpr int SWL_REFUSED = -2;
// The connect failed for another reason (no route, unreachable host, ...).
inline constexpr int SWL_FAILED = -3;

// socket(), SO_REUSEADDR and non-blocking mode. SWL_INVALID_SOCKET on failure (reported
// on the debug channel).
SWL_socket_t SWL_CreateSocket(int domain, int type, int protocol);

// Starts a connect and, unless timeoutMs is 0, waits for its outcome as
// SWL_WaitWritable() does. An already connected socket gives SWL_CONNECTED at once.
int SWL_Connect(SWL_socket_t sock, const sockaddr* peer, socklen_t length, int timeoutMs);

// Waits up to timeoutMs (0 polls) for a connect in progress to end. A refused connect
// ends the wait as soon as the refusal arrives, with SWL_REFUSED.
int SWL_WaitWritable(SWL_socket_t sock, int timeoutMs);

int SWL_Bind(SWL_socket_t sock, const sockaddr* address, socklen_t length);

// One send / receive call with the POSIX results. Sends never raise SIGPIPE.
ssize_t SWL_Send(SWL_socket_t sock, const void* buffer, std::size_t length);
// `flags` as recv(2) takes them (MSG_DONTWAIT).
ssize_t SWL_Recv(SWL_socket_t sock, void* buffer, std::size_t length, int flags = 0);
// One gather write of the pieces, in order, as a single send; `flags` (MSG_DONTWAIT)
// join MSG_NOSIGNAL.
ssize_t SWL_SendVector(SWL_socket_t sock, std::span<const iovec> pieces, int flags = 0);

int SWL_Shutdown(SWL_socket_t sock, int how);
// Closes the socket and sets the handle to SWL_INVALID_SOCKET. 0, or -1 when close()
// failed (reported) or the handle was already invalid.
int SWL_CloseSocket(SWL_socket_t& sock);

// Turns off Nagle's algorithm, so that a small frame leaves at once rather than waiting
// for the acknowledgement of the previous one.
int SWL_SetNoDelay(SWL_socket_t sock);

// True when the last failed call would have blocked.
bool SWL_IsWouldBlock();

// The socket's local IPv4 address in host byte order; false when it has none.
bool SWL_LocalAddress(SWL_socket_t sock, unsigned& address);
