#include "app/cli/runreporter.h"
#include "app/cli/texttable.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <vector>

namespace galvorn::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMacWidth = 17;
constexpr std::size_t kIpWidth = 15;
constexpr int kBarWidth = 20;
// A progress line is redrawn at most this often; other changes at once.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Without a terminal, progress is written in steps of this many percent.
constexpr double kPlainStepPercent = 10;

std::string progressBar(double percent)
{
    const int filled =
        std::clamp(static_cast<int>(std::lround(percent * kBarWidth / 100)), 0, kBarWidth);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "]";
}

std::string deviceLine(const DeviceOutcome& device, const StatusReport& report)
{
    std::string line = padded(device.mac, kMacWidth) + "  " + padded(device.ip, kIpWidth) + "  ";
    if (report.progress && !report.final)
        line += progressBar(*report.progress) + " ";
    return line + report.text;
}

class TextReporter final : public RunReporter
{
public:
    TextReporter(std::ostream& out, bool terminal, const TerminalSize& size)
        : out_(out), terminal_(terminal), size_(size)
    {}

    void missing(const std::string& named) override
    {
        out_ << padded(named, kMacWidth) << "  " << kNotFoundText << '\n' << std::flush;
    }

    void beginWave(std::size_t wave, std::size_t waves,
                   std::span<const DeviceOutcome> devices) override
    {
        if (waves > 1)
            out_ << "Wave " << wave << " of " << waves << ": " << devices.size() << " devices\n";
        // Lines can be redrawn in place only while the whole wave fits on the screen.
        inPlace_ = terminal_ && devices.size() + 1 < static_cast<std::size_t>(size_.rows);
        lines_ = devices.size();
        rows_.clear();
        lastDraw_.assign(lines_, Clock::time_point());
        lastStep_.assign(lines_, -1);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            rows_[devices[i].mac] = i;
            if (inPlace_)
                out_ << fitted(deviceLine(devices[i], {0, "waiting", {}, false})) << '\n';
        }
        out_ << std::flush;
    }

    void status(const DeviceOutcome& device, const StatusReport& report) override
    {
        const auto row = rows_.find(device.mac);
        if (row == rows_.end())
            return;
        const std::size_t i = row->second;
        if (inPlace_) {
            const auto now = Clock::now();
            if (report.progress && !report.final && now - lastDraw_[i] < kRedrawInterval)
                return;
            lastDraw_[i] = now;
            redraw(i, deviceLine(device, report));
            return;
        }
        if (report.progress && !report.final) {
            const int step = static_cast<int>(*report.progress / kPlainStepPercent);
            if (step <= lastStep_[i])
                return;
            lastStep_[i] = step;
        }
        out_ << deviceLine(device, report) << '\n' << std::flush;
    }

    void endWave() override { out_ << std::flush; }

    void summary(std::span<const DeviceOutcome> devices, bool countsPersons) override
    {
        std::vector<std::vector<std::string>> rows;
        rows.push_back({"Device", "IP", "Result"});
        if (countsPersons) {
            rows.back().push_back("Added");
            rows.back().push_back("Failed");
        }
        std::size_t succeeded = 0;
        for (const DeviceOutcome& device : devices) {
            succeeded += device.succeeded ? 1 : 0;
            rows.push_back({device.mac, device.ip, device.text});
            if (!countsPersons)
                continue;
            rows.back().push_back(device.counts ? std::to_string(device.counts->added) : "-");
            rows.back().push_back(device.counts ? std::to_string(device.counts->failed) : "-");
        }
        out_ << '\n' << alignedTable(rows);
        out_ << devices.size() << (devices.size() == 1 ? " device: " : " devices: ") << succeeded
             << " succeeded, " << devices.size() - succeeded << " failed\n";
        for (const DeviceOutcome& device : devices)
            if (!device.logPath.empty())
                out_ << "Persons not added by " << device.mac << ": " << device.logPath << '\n';
        out_ << std::flush;
    }

private:
    std::string fitted(const std::string& line) const
    {
        return truncatedToColumns(line, static_cast<std::size_t>(std::max(size_.columns - 1, 1)));
    }

    // Rewrites line `i` of the wave and returns the cursor below the wave.
    void redraw(std::size_t i, const std::string& line)
    {
        const std::size_t up = lines_ - i;
        out_ << "\x1b[" << up << "A\r\x1b[2K" << fitted(line) << "\x1b[" << up << "B\r"
             << std::flush;
    }

    std::ostream& out_;
    const bool terminal_;
    const TerminalSize size_;
    bool inPlace_ = false;
    std::size_t lines_ = 0;
    std::map<std::string, std::size_t> rows_;
    std::vector<Clock::time_point> lastDraw_;
    std::vector<int> lastStep_;
};

} // namespace

std::unique_ptr<RunReporter> MakeTextReporter(std::ostream& out, bool terminal,
                                              const TerminalSize& size)
{
    return std::make_unique<TextReporter>(out, terminal, size);
}

} // namespace galvorn::cli
