#include "app/cli/waverun.h"

#include "discovery/devicelist.h"
#include "facelib/runstate.h"
#include "facelib/statustable.h"
#include "facelib/textfield.h"
#include "platform/netif.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>

namespace galvorn::cli {

namespace {

constexpr char kNotRun[] = "not run: interrupted";

bool sameMac(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// "37.50%" as 37.5.
std::optional<double> percentOf(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

bool countsPersons(OperationType operation)
{
    return operation == OperationType::BatchAdd;
}

// One wave of devices, from its start to the final status of each.
class Wave
{
public:
    Wave(RunState& state, const RunRequest& request, std::span<DeviceOutcome> outcomes,
         RunReporter& reporter)
        : state_(state), request_(request), outcomes_(outcomes), reporter_(reporter)
    {}

    // False when the channel was interrupted meanwhile.
    bool serve(EventChannel& channel)
    {
        std::size_t pending = outcomes_.size();
        while (pending > 0) {
            EventChannel::Event event = channel.next();
            if (event.kind == EventChannel::Event::Kind::Interrupted) {
                cancel(channel);
                return false;
            }
            if (event.kind == EventChannel::Event::Kind::Status && apply(*event.info))
                --pending;
        }
        return true;
    }

private:
    // True when the status is its device's final one.
    bool apply(const CallbackInfo& info)
    {
        const auto device =
            std::find_if(outcomes_.begin(), outcomes_.end(), [&](const DeviceOutcome& d) {
                return sameMac(d.mac, fieldText(info.mac));
            });
        if (device == outcomes_.end() || device->finished)
            return false;
        const StatusEffect effect = statusEffect(info, request_.operation, state_.tables());
        if (!effect.rowText)
            return false;
        StatusReport report{info.status, *effect.rowText, std::nullopt, effect.final};
        if (info.status == static_cast<tuint32>(DeviceStatus::Progress))
            report.progress = percentOf(report.text);
        device->status = info.status;
        device->text = report.text;
        if (effect.final) {
            device->finished = true;
            device->succeeded = info.status == static_cast<tuint32>(DeviceStatus::Success);
            if (countsPersons(request_.operation))
                device->counts = state_.tables().batchAddCounts(fieldText(info.mac));
            if (effect.batchSummary)
                device->logPath = effect.batchSummary->logPath;
        }
        reporter_.status(*device, report);
        return effect.final;
    }

    // Stops the wave and takes in what its workers still post.
    void cancel(EventChannel& channel)
    {
        state_.cancel();
        state_.waitForWorkers();
        while (std::optional<EventChannel::Event> event = channel.poll())
            if (event->kind == EventChannel::Event::Kind::Status)
                apply(*event->info);
    }

    RunState& state_;
    const RunRequest& request_;
    std::span<DeviceOutcome> outcomes_;
    RunReporter& reporter_;
};

std::string connectText(const DeviceJob& job, const OnlineDeviceInfo& device)
{
    if (job.ipAddress == 0)
        return device.ipAddr.toStdString();
    return platform::ipv4Text(ntohl(job.ipAddress));
}

} // namespace

std::vector<DeviceOutcome> RunInWaves(const RunRequest& request,
                                      std::shared_ptr<const std::vector<PersonInfo>> persons,
                                      const DeviceList& devices, EventChannel& channel,
                                      RunReporter& reporter)
{
    std::vector<DeviceOutcome> outcomes(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i)
        outcomes[i].mac = devices[i].mac.toStdString();
    RunState state(&channel);
    const std::size_t waves = (devices.size() + kMaxDevicesPerRun - 1) / kMaxDevicesPerRun;
    for (std::size_t wave = 0; wave < waves && !channel.interrupted(); ++wave) {
        const std::size_t first = wave * kMaxDevicesPerRun;
        const std::size_t count = std::min(kMaxDevicesPerRun, devices.size() - first);
        std::vector<RunDevice> runDevices;
        for (std::size_t i = first; i < first + count; ++i)
            runDevices.push_back(RunDeviceOf(devices[i]));
        if (!StartRunOn(state, request, persons, runDevices).ok())
            break;
        for (std::size_t i = 0; i < count; ++i)
            outcomes[first + i].ip = connectText(state.jobs()[i], devices[first + i]);
        const std::span<DeviceOutcome> waveOutcomes(outcomes.data() + first, count);
        reporter.beginWave(wave + 1, waves, waveOutcomes);
        const bool whole = Wave(state, request, waveOutcomes, reporter).serve(channel);
        state.endRun();
        state.waitForWorkers();
        reporter.endWave();
        if (!whole)
            break;
    }
    for (DeviceOutcome& outcome : outcomes)
        if (!outcome.finished)
            outcome.text = kNotRun;
    return outcomes;
}

} // namespace galvorn::cli
