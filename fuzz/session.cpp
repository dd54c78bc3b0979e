// A device session over one end of a socket pair. The input is what the device sends:
// its greeting, then the stream after it (the login's reply and whatever follows). The
// session must log in only on an acceptance, hand the owner only payloads it holds, and
// report the end of the stream as one lost link.
#include "device/commandids.h"
#include "device/loginmessage.h"
#include "device/netdvsdevice.h"
#include "fuzz/fuzzinput.h"

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace galvorn::device;
using galvorn::fuzz::FuzzInput;

namespace {

struct Observed
{
    std::mutex lock;
    std::condition_variable changed;
    int linksLost = 0;
    bool released = false;
};

int ownerCallback(void* context, CNetDevice*, tint32 type, tint32 length, const void* data, tuint32)
{
    auto& seen = *static_cast<Observed*>(context);
    const std::lock_guard guard(seen.lock);
    FUZZ_CHECK(!seen.released);
    if (type == CALLBACK_LINK_LOST) {
        FUZZ_CHECK(length == -1 && data == nullptr);
        ++seen.linksLost;
        seen.changed.notify_all();
        return 0;
    }
    if (type == CALLBACK_DEVICE_EVENT) {
        FUZZ_CHECK(data != nullptr);
        return 0;
    }
    // A reply's payload is all there: reading every byte of it stays inside the message.
    FUZZ_CHECK(length >= 0 && (length == 0 || data != nullptr));
    volatile std::uint8_t sum = 0;
    for (tint32 i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + static_cast<const std::uint8_t*>(data)[i]);
    return 0;
}

void writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written <= 0)
            return;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::span<const std::uint8_t> greeting = input.take(DeviceGreeting::kSize);
    const std::span<const std::uint8_t> stream = input.rest();

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    const int ours = ends[0];
    const int device = ends[1];
    // Non-blocking, as the connector hands its sockets to the link.
    ::fcntl(ours, F_SETFL, O_NONBLOCK);
    Observed seen;
    int error = 0;
    CNetDevice* session = CreateSession(ours, greeting, &ownerCallback, &seen, error);
    if (session == nullptr) {
        ::close(ours);
        ::close(device);
        return 0;
    }
    // The device's side writes on its own thread, so that a long stream cannot fill the
    // pair's buffer while the session is not reading yet.
    std::thread writer([&] {
        writeAll(device, stream);
        ::shutdown(device, SHUT_WR);
    });
    DEVICE_INFO info{};
    const int login = session->Login("admin", "123456", info);
    writer.join();
    if (login == LoginResult::kOk) {
        // The stream has ended, so the link is lost, and said so once.
        std::unique_lock guard(seen.lock);
        FUZZ_CHECK(seen.changed.wait_for(guard, std::chrono::seconds(20),
                                         [&] { return seen.linksLost > 0; }));
        FUZZ_CHECK(session->ConnectionState() == kDeviceOffline);
    }
    session->Release();
    {
        const std::lock_guard guard(seen.lock);
        FUZZ_CHECK(seen.linksLost <= 1);
        seen.released = true;
    }
    ::close(device);
    return 0;
}
