// Face-library export and import throughput against one simulated camera (galvorn-devsim)
// that the caller has started, through the same run state and workers as the window.
// Each iteration is one whole transfer: connect, login, start, the data phase, end, and
// for an export the data file's close and rename. Two rates are reported: library bytes
// per second of the whole transfer, and the data phase alone, timed between the first
// and the last progress report.
//
//   galvorn_bench_transfer --camera=IP:PORT [--library-password=TEXT] [--rounds=N]
//                          [benchmark flags]
//
// bench/run-transfer-bench.sh starts the simulator on loopback and across a shaped veth
// pair and runs this binary against it.

#include "common/facefeatureimportandexport.h"
#include "facelib/jobbuilder.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace galvorn;
namespace fs = std::filesystem;

constexpr char kDeviceKey[] = "02:1A:2B:3C:4D:5E";
constexpr auto kRunLimit = std::chrono::minutes(10);

struct Options
{
    std::string address;
    int port = 0;
    std::string libraryPassword;
    int rounds = 3;
};

Options gOptions;

tuint32 code(DeviceStatus status)
{
    return static_cast<tuint32>(status);
}

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--camera=")) {
            const std::string_view value = arg.substr(9);
            const std::size_t colon = value.rfind(':');
            if (colon == std::string_view::npos)
                return false;
            options.address = std::string(value.substr(0, colon));
            options.port = std::atoi(std::string(value.substr(colon + 1)).c_str());
        } else if (arg.starts_with("--library-password=")) {
            options.libraryPassword = std::string(arg.substr(19));
        } else if (arg.starts_with("--rounds=")) {
            options.rounds = std::atoi(std::string(arg.substr(9)).c_str());
        } else {
            return false;
        }
    }
    return !options.address.empty() && options.port > 0 && options.port < 65536 &&
           options.rounds > 0;
}

// A scratch folder for the data files, removed with the object.
class ScratchFolder
{
public:
    ScratchFolder()
        : path_(fs::temp_directory_path() /
                ("galvorn-transfer-bench-" + std::to_string(::getpid())))
    {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() { fs::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }
    void clear() const
    {
        for (const auto& entry : fs::directory_iterator(path_))
            fs::remove_all(entry.path());
    }
    // The one data file an export left, or empty.
    fs::path dataFile() const
    {
        for (const auto& entry : fs::directory_iterator(path_))
            if (entry.path().extension() == ".dat")
                return entry.path();
        return {};
    }

private:
    fs::path path_;
};

// Stands in for the window: keeps the device's last status and times the progress
// reports. Each report follows one whole request/reply cycle of the data phase, so the
// span from the first report to the last one is that phase without the connection, the
// login, the start and the end.
class TimingSink : public StatusSink
{
public:
    using Clock = std::chrono::steady_clock;

    void postStatus(std::unique_ptr<CallbackInfo> info) override
    {
        const Clock::time_point now = Clock::now();
        const std::lock_guard guard(lock_);
        last_ = info->status;
        if (info->status != code(DeviceStatus::Progress))
            return;
        if (reports_++ == 0)
            first_ = now;
        latest_ = now;
        if (const auto report = decodeProgress(info->data)) {
            if (reports_ == 1)
                firstSize_ = report->header.librarySize;
            lastSize_ = report->header.librarySize;
        }
    }

    bool succeeded() const
    {
        const std::lock_guard guard(lock_);
        return last_ == code(DeviceStatus::Success);
    }
    std::size_t reports() const
    {
        const std::lock_guard guard(lock_);
        return reports_;
    }
    double dataSeconds() const
    {
        const std::lock_guard guard(lock_);
        return std::chrono::duration<double>(latest_ - first_).count();
    }
    // Library bytes an export received after its first report.
    std::uint64_t exportBytesAfterFirst() const
    {
        const std::lock_guard guard(lock_);
        return lastSize_ - firstSize_;
    }

private:
    mutable std::mutex lock_;
    tuint32 last_ = 0;
    std::size_t reports_ = 0;
    Clock::time_point first_;
    Clock::time_point latest_;
    std::uint64_t firstSize_ = 0;
    std::uint64_t lastSize_ = 0;
};

// Runs one operation against the camera and waits for its worker; false unless the
// device ended with success.
bool transfer(OperationType operation, const fs::path& folder, const facefile::Reader* file,
              TimingSink& sink)
{
    RunState state(&sink);
    DeviceRow row;
    row.ipAddr = gOptions.address;
    row.mac = kDeviceKey;
    // A 3.3 version makes the job connect at the row's own address.
    row.softwareVer = "V3.3.0.5";
    row.dataPort = gOptions.port;
    row.httpPort = 80;
    state.setOperation(operation);
    state.setImportFile(file);
    state.setJobs(
        {BuildDeviceJob(row, {"admin", "123456", folder.string(), gOptions.libraryPassword}, 0,
                        htonl(INADDR_LOOPBACK))});
    return StartWorkers(state) == StartResult::kStarted && state.waitForWorkersFor(kRunLimit) &&
           sink.succeeded();
}

// Data-phase time and bytes summed over the rounds.
struct DataPhase
{
    double seconds = 0;
    double bytes = 0;
};

void reportRates(benchmark::State& state, std::uint64_t libraryBytes, const DataPhase& phase)
{
    const auto bytes = static_cast<double>(state.iterations() * libraryBytes);
    state.counters["library_bytes"] = static_cast<double>(libraryBytes);
    state.counters["bytes_per_second"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
    state.counters["data_phase_bytes_per_second"] =
        phase.seconds > 0 ? phase.bytes / phase.seconds : 0.0;
}

void BM_Export(benchmark::State& state)
{
    const ScratchFolder folder;
    std::uint64_t libraryBytes = 0;
    DataPhase phase;
    for (auto _ : state) {
        TimingSink sink;
        if (!transfer(OperationType::ExportData, folder.path(), nullptr, sink)) {
            state.SkipWithError("the export failed");
            return;
        }
        state.PauseTiming();
        facefile::Reader reader;
        if (reader.open(folder.dataFile().string()) != facefile::Check::Valid) {
            state.SkipWithError("the exported file does not pass the import check");
            return;
        }
        libraryBytes = reader.header().librarySize;
        reader.close();
        folder.clear();
        phase.seconds += sink.dataSeconds();
        phase.bytes += static_cast<double>(sink.exportBytesAfterFirst());
        state.ResumeTiming();
    }
    reportRates(state, libraryBytes, phase);
}

void BM_Import(benchmark::State& state)
{
    // The camera's own library, exported once, is what every round imports back.
    const ScratchFolder folder;
    facefile::Reader reader;
    TimingSink exportSink;
    if (!transfer(OperationType::ExportData, folder.path(), nullptr, exportSink) ||
        reader.open(folder.dataFile().string()) != facefile::Check::Valid) {
        state.SkipWithError("the export of the import file failed");
        return;
    }
    DataPhase phase;
    for (auto _ : state) {
        TimingSink sink;
        if (!transfer(OperationType::ImportData, folder.path(), &reader, sink)) {
            state.SkipWithError("the import failed");
            return;
        }
        // The first report acknowledges the first chunk; every later one one more chunk.
        if (sink.reports() > 1) {
            phase.seconds += sink.dataSeconds();
            phase.bytes += static_cast<double>(reader.size() - facefile::kImportChunkSize);
        }
    }
    reportRates(state, reader.header().librarySize, phase);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!parseOptions(argc, argv, gOptions)) {
        std::fprintf(stderr,
                     "usage: %s --camera=IP:PORT [--library-password=TEXT] [--rounds=N] "
                     "[benchmark flags]\n",
                     argv[0]);
        return 2;
    }
    for (const auto& [name, function] :
         {std::pair{"export", &BM_Export}, std::pair{"import", &BM_Import}})
        benchmark::RegisterBenchmark(name, function)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(gOptions.rounds);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
