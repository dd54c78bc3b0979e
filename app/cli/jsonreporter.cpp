#include "app/cli/jsonlines.h"
#include "app/cli/runreporter.h"

namespace galvorn::cli {

namespace {

const char* resultOf(bool succeeded)
{
    return succeeded ? "succeeded" : "failed";
}

class JsonReporter final : public RunReporter
{
public:
    explicit JsonReporter(std::ostream& out) : out_(out) {}

    void missing(const std::string& named) override
    {
        writeJsonLine(out_, {{"event", "missing"},
                             {"device", named},
                             {"result", resultOf(false)},
                             {"text", kNotFoundText}});
    }

    void beginWave(std::size_t wave, std::size_t waves,
                   std::span<const DeviceOutcome> devices) override
    {
        nlohmann::ordered_json macs = nlohmann::ordered_json::array();
        for (const DeviceOutcome& device : devices)
            macs.push_back(device.mac);
        writeJsonLine(out_,
                      {{"event", "wave"}, {"wave", wave}, {"waves", waves}, {"devices", macs}});
    }

    void status(const DeviceOutcome& device, const StatusReport& report) override
    {
        nlohmann::ordered_json event{{"event", "status"},   {"mac", device.mac},
                             {"ip", device.ip},     {"status", report.status},
                             {"text", report.text}, {"final", report.final}};
        if (report.progress)
            event["progress"] = *report.progress;
        if (report.final) {
            event["result"] = resultOf(device.succeeded);
            if (device.counts) {
                event["personsAdded"] = device.counts->added;
                event["personsFailed"] = device.counts->failed;
            }
            if (!device.logPath.empty())
                event["log"] = device.logPath;
        }
        writeJsonLine(out_, event);
    }

    void endWave() override {}

    void summary(std::span<const DeviceOutcome> devices, bool) override
    {
        std::size_t succeeded = 0;
        for (const DeviceOutcome& device : devices)
            succeeded += device.succeeded ? 1 : 0;
        writeJsonLine(out_, {{"event", "summary"},
                             {"devices", devices.size()},
                             {"succeeded", succeeded},
                             {"failed", devices.size() - succeeded}});
    }

private:
    std::ostream& out_;
};

} // namespace

std::unique_ptr<RunReporter> MakeJsonReporter(std::ostream& out)
{
    return std::make_unique<JsonReporter>(out);
}

} // namespace galvorn::cli
