#pragma once

// The device-search library. Cameras are found by a multicast probe; their answers reach
// the caller through one callback, on the library's own thread. Every function returns
// QUARLO_SEARCH_OK (0) on success and QUARLO_SEARCH_ERROR (-1) when it refused the call
// and changed nothing.

#ifdef __cplusplus
extern "C" {
#endif

enum
{
    QUARLO_SEARCH_OK = 0,
    QUARLO_SEARCH_ERROR = -1
};

// What an answer tells about a camera; the callback's `type` argument.
enum QuarloSearchAnswerType
{
    // First answer of a camera since the automatic search was started.
    QUARLO_SEARCH_DEVICE_NEW = 1,
    // No answer for three periods. The XML is the camera's last answer.
    QUARLO_SEARCH_DEVICE_GONE = 2,
    // The camera's XML differs from its previous answer. The XML is the new one.
    QUARLO_SEARCH_DEVICE_CHANGED = 3
};

// mac:  "AA:BB:CC:DD:EE:FF", upper case.
// xml:  the camera's multicastSearchResult document, NUL-terminated, as the camera sent it.
// Both texts are valid only during the call. The callback runs on the library's thread,
// one call at a time. It may call QUARLO_SEARCH_StartAuto and QUARLO_SEARCH_StopAuto;
// QUARLO_SEARCH_Quit called from a callback is refused (returns QUARLO_SEARCH_ERROR).
typedef void (*QuarloSearchCallback)(const char* mac, int type, const char* xml, void* userData);

// Prepares the library: opens the search socket and starts its thread. `count` is the
// most network interfaces that one probe round is sent on (the first `count` by interface
// index); it must be at least 1. Refused when the callback is null, the count is below 1,
// the library is already prepared, or the socket cannot be opened.
int QUARLO_SEARCH_Initial(QuarloSearchCallback callback, void* userData, int count);

// Starts (or restarts, with the new period) the automatic search. `periodSeconds` >= 1.
// Every start forgets the cameras seen before it: each camera that answers is reported
// as new again.
int QUARLO_SEARCH_StartAuto(int periodSeconds);

// Stops the automatic search and forgets every camera, without gone callbacks. When it
// returns, no callback of the stopped search is running or will start, except when it is
// called from a callback: then it returns at once and that callback is the last one.
// Like Quit, it must not be called while holding a lock that the callback takes.
int QUARLO_SEARCH_StopAuto(void);

// Stops the library. It waits for a callback that is in progress; once it returns no
// callback arrives. The library can be prepared again afterwards.
int QUARLO_SEARCH_Quit(void);

#ifdef __cplusplus
}
#endif
