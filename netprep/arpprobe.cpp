#include "netprep/arpprobe.h"

#include "common/arpframe.h"
#include "platform/arpcapture.h"

#include <algorithm>
#include <memory>

namespace galvorn::netprep {

namespace {

using platform::ArpCapture;
using platform::CaptureResult;

bool fromDevice(std::span<const std::uint8_t> bytes, std::uint32_t address,
                const platform::MacBytes& deviceMac)
{
    common::arp::ArpFrame frame;
    return common::arp::ParseFrame(bytes, frame) == common::arp::ParseResult::Ok &&
           common::arp::IsReplyFor(frame, address) && frame.source == deviceMac;
}

} // namespace

bool FindAdapterByArp(const std::vector<platform::Adapter>& adapters, std::uint32_t address,
                      const platform::MacBytes& deviceMac, platform::Adapter& found,
                      ProbeFailure& failure, std::chrono::milliseconds window)
{
    const std::uint32_t senders[] = {address};
    const std::string filter = platform::ArpReplyFilter(senders, &deviceMac);
    std::vector<const platform::Adapter*> probed;
    std::vector<std::unique_ptr<ArpCapture>> captures;
    for (const platform::Adapter& adapter : adapters) {
        if (!adapter.up || !adapter.arp || !platform::IsPhysicalAdapter(adapter))
            continue;
        auto capture = std::make_unique<ArpCapture>();
        const int opened = capture->open(adapter.name, filter);
        if (opened == CaptureResult::kNotPermitted)
            failure = {opened, capture->error()};
        if (opened != CaptureResult::kOpen ||
            !capture->send(common::arp::BuildRequest(adapter.mac, address)))
            continue;
        probed.push_back(&adapter);
        captures.push_back(std::move(capture));
    }
    if (captures.empty())
        return false;
    std::vector<ArpCapture*> waiting;
    for (const auto& capture : captures)
        waiting.push_back(capture.get());
    const platform::Adapter* answered = nullptr;
    platform::WaitForFrames(waiting, window, [&](std::size_t index, auto bytes) {
        if (fromDevice(bytes, address, deviceMac))
            answered = probed[index];
        return answered != nullptr;
    });
    if (!answered)
        return false;
    found = *answered;
    return true;
}

AdapterProber::AdapterProber(const platform::Adapter& adapter, std::chrono::milliseconds window)
    : adapter_(adapter), window_(window)
{}

bool AdapterProber::probe(std::span<const std::uint32_t> candidates, std::vector<bool>& inUse)
{
    ArpCapture capture;
    const int opened = capture.open(adapter_.name, platform::ArpReplyFilter(candidates));
    if (opened != CaptureResult::kOpen) {
        failure_ = {opened, capture.error()};
        return false;
    }
    for (const std::uint32_t candidate : candidates) {
        if (!capture.send(common::arp::BuildRequest(adapter_.mac, candidate))) {
            failure_ = {CaptureResult::kFailed, capture.error()};
            return false;
        }
    }
    std::size_t answered = 0;
    ArpCapture* const waiting[] = {&capture};
    const bool read = platform::WaitForFrames(waiting, window_, [&](std::size_t, auto bytes) {
        common::arp::ArpFrame frame;
        if (common::arp::ParseFrame(bytes, frame) != common::arp::ParseResult::Ok ||
            frame.operation != common::arp::kOperationReply || frame.source == adapter_.mac)
            return false;
        const auto at = std::find(candidates.begin(), candidates.end(), frame.senderAddress);
        if (at == candidates.end())
            return false;
        const auto index = static_cast<std::size_t>(at - candidates.begin());
        if (!inUse[index]) {
            inUse[index] = true;
            ++answered;
        }
        return answered == candidates.size();
    });
    if (!read)
        failure_ = {CaptureResult::kFailed, capture.error()};
    return read;
}

} // namespace galvorn::netprep
