#include "platform/arpcapture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>

#include <pcap/pcap.h>

namespace galvorn::platform {

namespace {

// Room for an ARP frame with padding and a VLAN tag; nothing else passes the filter.
constexpr int kSnapLength = 100;
// The kernel's buffer: room for the replies to a batch of probes, each held in one
// capture slot.
constexpr int kBufferBytes = 1 << 20;

std::string hexWord(std::uint32_t value)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string macText(const MacBytes& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

struct Dispatch
{
    std::size_t index = 0;
    const std::function<bool(std::size_t, std::span<const std::uint8_t>)>* frame = nullptr;
    bool done = false;
};

void onFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes)
{
    auto* dispatch = reinterpret_cast<Dispatch*>(user);
    if (dispatch->done)
        return;
    dispatch->done = (*dispatch->frame)(dispatch->index, {bytes, header->caplen});
}

} // namespace

struct ArpCapture::Handle
{
    pcap_t* pcap = nullptr;
    int fd = -1;
    ~Handle()
    {
        if (pcap)
            pcap_close(pcap);
    }
};

std::string ArpReplyFilter(std::span<const std::uint32_t> senders, const MacBytes* from)
{
    if (senders.empty())
        return "arp and not arp";
    std::string filter = "arp and arp[0:2] = 1 and arp[2:2] = 0x0800 and arp[4] = 6 and "
                         "arp[5] = 4 and arp[6:2] = 2 and (";
    for (std::size_t i = 0; i < senders.size(); ++i) {
        if (i != 0)
            filter += " or ";
        filter += "arp[14:4] = " + hexWord(senders[i]);
    }
    filter += ")";
    if (from)
        filter += " and ether src " + macText(*from);
    return filter;
}

ArpCapture::ArpCapture() = default;
ArpCapture::~ArpCapture() = default;

int ArpCapture::open(const std::string& adapter, const std::string& filter)
{
    handle_.reset();
    char message[PCAP_ERRBUF_SIZE] = {};
    auto handle = std::make_unique<Handle>();
    handle->pcap = pcap_create(adapter.c_str(), message);
    if (!handle->pcap) {
        error_ = message;
        return CaptureResult::kFailed;
    }
    pcap_t* p = handle->pcap;
    pcap_set_snaplen(p, kSnapLength);
    pcap_set_promisc(p, 0);
    pcap_set_immediate_mode(p, 1);
    pcap_set_buffer_size(p, kBufferBytes);
    const int activated = pcap_activate(p);
    if (activated < 0) {
        error_ = pcap_geterr(p);
        if (activated == PCAP_ERROR_PERM_DENIED)
            return CaptureResult::kNotPermitted;
        return activated == PCAP_ERROR_NO_SUCH_DEVICE ? CaptureResult::kNoSuchAdapter
                                                      : CaptureResult::kFailed;
    }
    bpf_program program{};
    if (pcap_compile(p, &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        error_ = pcap_geterr(p);
        return CaptureResult::kBadFilter;
    }
    const int set = pcap_setfilter(p, &program);
    pcap_freecode(&program);
    if (set != 0) {
        error_ = pcap_geterr(p);
        return CaptureResult::kBadFilter;
    }
    pcap_setdirection(p, PCAP_D_IN);
    handle->fd = pcap_get_selectable_fd(p);
    if (pcap_setnonblock(p, 1, message) != 0 || handle->fd < 0) {
        error_ = handle->fd < 0 ? "the adapter cannot be waited on" : message;
        return CaptureResult::kFailed;
    }
    handle_ = std::move(handle);
    error_.clear();
    return CaptureResult::kOpen;
}

bool ArpCapture::send(std::span<const std::uint8_t> frame)
{
    if (!handle_)
        return false;
    if (pcap_inject(handle_->pcap, frame.data(), frame.size()) == static_cast<int>(frame.size()))
        return true;
    error_ = pcap_geterr(handle_->pcap);
    return false;
}

bool WaitForFrames(std::span<ArpCapture* const> captures, std::chrono::milliseconds limit,
                   const std::function<bool(std::size_t, std::span<const std::uint8_t>)>& frame)
{
    std::vector<pollfd> fds;
    for (ArpCapture* capture : captures)
        fds.push_back({capture->handle_ ? capture->handle_->fd : -1, POLLIN, 0});
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const int ready = ::poll(fds.data(), fds.size(), remainingMs(deadline));
        if (ready == 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLERR | POLLHUP)) == 0)
                continue;
            Dispatch dispatch{i, &frame, false};
            if (pcap_dispatch(captures[i]->handle_->pcap, -1, &onFrame,
                              reinterpret_cast<u_char*>(&dispatch)) < 0) {
                captures[i]->error_ = pcap_geterr(captures[i]->handle_->pcap);
                return false;
            }
            if (dispatch.done)
                return true;
        }
        if (remainingMs(deadline) == 0)
            return true;
    }
}

} // namespace galvorn::platform
