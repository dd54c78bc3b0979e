#pragma once

#include "common/swl_connectproc.h"
#include "common/swl_tcplink.h"
#include "device/netdvsdevice.h"

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

// Collects what a session hands to its owner.
class Owner
{
public:
    struct Call
    {
        galvorn::device::CNetDevice* session = nullptr;
        tint32 type = 0;
        tint32 length = 0;
        tuint32 parameter = 0;
        std::vector<std::uint8_t> data;
        galvorn::device::DEVICE_EVENT event;
        std::vector<std::uint8_t> eventData;
    };

    static int callback(void* context, galvorn::device::CNetDevice* session, tint32 type,
                        tint32 length, const void* data, tuint32 parameter)
    {
        auto* owner = static_cast<Owner*>(context);
        Call call{session, type, length, parameter, {}, {}, {}};
        if (type == galvorn::device::CALLBACK_DEVICE_EVENT && data) {
            call.event = *static_cast<const galvorn::device::DEVICE_EVENT*>(data);
            if (call.event.data)
                call.eventData.assign(call.event.data, call.event.data + call.event.words[6]);
            call.event.data = nullptr;
        } else if (data && length > 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            call.data.assign(bytes, bytes + length);
        }
        std::lock_guard lock(owner->mutex_);
        owner->calls_.push_back(std::move(call));
        owner->changed_.notify_all();
        return 0;
    }

    // Waits for a call of the type; false after timeoutMs.
    bool waitFor(tint32 type, Call* found = nullptr, int timeoutMs = 5000)
    {
        std::unique_lock lock(mutex_);
        Call result;
        const bool seen = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const Call& call : calls_) {
                if (call.type == type) {
                    result = call;
                    return true;
                }
            }
            return false;
        });
        if (seen && found)
            *found = result;
        return seen;
    }
    int count(tint32 type)
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(
            calls_.begin(), calls_.end(), [type](const Call& call) { return call.type == type; }));
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

// How far opening a session got.
enum class Stage
{
    Connect,
    Greeting,
    Create,
    Login,
    Done,
};

struct Opened
{
    Stage stage = Stage::Connect;
    // The greeting read result, the CreateSession error or the login result.
    int code = 0;
    galvorn::device::SessionHandle session;
    galvorn::device::DEVICE_INFO info;
};

// Connects, reads the greeting through a link of its own, hands the socket to a new
// session and logs in, as the operation runner does.
inline Opened openSession(std::uint16_t port, Owner& owner, const char* user = "admin",
                          const char* password = "123456", const char* address = "127.0.0.1",
                          const galvorn::device::SessionLimits& limits = {},
                          std::uint32_t greetingMs = 2000)
{
    using namespace galvorn;
    Opened opened;
    common::CSwlConnectProc connector(address, port);
    SWL_socket_t sock = connector.Connect(3000);
    if (sock == SWL_INVALID_SOCKET)
        return opened;
    std::vector<std::uint8_t> greeting(device::DeviceGreeting::kSize);
    {
        common::CSwlTcpLink greetingLink(sock);
        opened.code = greetingLink.RecvExactTimed(greeting, greetingMs);
        sock = greetingLink.Detach();
    }
    if (opened.code != common::LinkResult::kMessage) {
        opened.stage = Stage::Greeting;
        SWL_CloseSocket(sock);
        return opened;
    }
    device::CNetDevice* session =
        device::CreateSession(sock, greeting, &Owner::callback, &owner, opened.code, limits);
    if (!session) {
        opened.stage = Stage::Create;
        SWL_CloseSocket(sock);
        return opened;
    }
    opened.session.reset(session);
    opened.code = session->Login(user, password, opened.info);
    opened.stage = opened.code == 0 ? Stage::Done : Stage::Login;
    return opened;
}
