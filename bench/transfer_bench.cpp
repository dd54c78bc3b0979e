// Face-library export and import throughput against simulated cameras (galvorn-devsim)
// that the caller has started, through the same run state and workers as the window,
// beside the benchmark's stop-and-wait reference client (bench/stopwaitclient) against
// the same camera and library. Each benchmark is one whole transfer: connect, login,
// start, the data phase, end, and for an export the data file's sync. The rounds
// alternate Galvorn and the reference, so both see the same machine, and every other
// round runs the reference first, so neither always runs after the other. Reported:
// library bytes per second of the whole transfer and, for Galvorn, of the data phase
// alone, timed between the first and the last progress report.
//
//   galvorn_bench_transfer --camera=IP:PORT [--rounds=N] [--parallel=N]
//                          [--parallel-rounds=N] [benchmark flags]
//
// --parallel=N adds an import into N cameras at once, at ports PORT+1 to PORT+N of the
// same address. bench/run-transfer-bench.sh starts the simulators on loopback and across
// a shaped veth pair and runs this binary against them.

#include "bench/stopwaitclient.h"
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
#include <utility>
#include <vector>

namespace {

using namespace galvorn;
namespace fs = std::filesystem;

constexpr auto kRunLimit = std::chrono::minutes(10);

constexpr char kUser[] = "admin";
constexpr char kPassword[] = "123456";

struct Options
{
    std::string address;
    int port = 0;
    int rounds = 5;
    int parallel = 0;
    int parallelRounds = 1;
};

Options gOptions;

// The key of camera i, as the simulators' configuration names it.
std::string deviceKey(int camera)
{
    char key[18];
    std::snprintf(key, sizeof key, "02:1A:2B:3C:%02X:%02X", (camera >> 8) & 0xFF, camera & 0xFF);
    return key;
}

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
        } else if (arg.starts_with("--rounds=")) {
            options.rounds = std::atoi(std::string(arg.substr(9)).c_str());
        } else if (arg.starts_with("--parallel=")) {
            options.parallel = std::atoi(std::string(arg.substr(11)).c_str());
        } else if (arg.starts_with("--parallel-rounds=")) {
            options.parallelRounds = std::atoi(std::string(arg.substr(18)).c_str());
        } else {
            return false;
        }
    }
    return !options.address.empty() && options.port > 0 &&
           options.port + options.parallel < 65536 && options.rounds > 0 && options.parallel >= 0 &&
           options.parallelRounds > 0;
}

// A scratch folder for the data files, removed with the object.
class ScratchFolder
{
public:
    ScratchFolder()
        : path_(fs::temp_directory_path() /
                ("galvorn-transfer-bench-" + std::to_string(::getpid()) + "-" +
                 std::to_string(++made_)))
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
    static inline int made_ = 0;
    fs::path path_;
};

// Stands in for the window: counts the devices that ended in success and times the
// progress reports. Each report follows one whole request/reply cycle of the data phase,
// so the span from the first report to the last one is that phase without the
// connection, the login, the start and the end.
class TimingSink : public StatusSink
{
public:
    using Clock = std::chrono::steady_clock;

    void postStatus(std::unique_ptr<CallbackInfo> info) override
    {
        const Clock::time_point now = Clock::now();
        const std::lock_guard guard(lock_);
        if (info->status == code(DeviceStatus::Success))
            ++successes_;
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

    std::size_t successes() const
    {
        const std::lock_guard guard(lock_);
        return successes_;
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
    std::size_t successes_ = 0;
    std::size_t reports_ = 0;
    Clock::time_point first_;
    Clock::time_point latest_;
    std::uint64_t firstSize_ = 0;
    std::uint64_t lastSize_ = 0;
};

// Runs one operation against `cameras` cameras from PORT + `firstCamera` on and waits for
// its workers; false unless every device ended with success.
bool transfer(OperationType operation, const fs::path& folder, const facefile::Reader* file,
              TimingSink& sink, int firstCamera = 0, int cameras = 1)
{
    RunState state(&sink);
    state.setOperation(operation);
    state.setImportFile(file);
    std::vector<DeviceJob> jobs;
    for (int i = 0; i < cameras; ++i) {
        DeviceRow row;
        row.ipAddr = gOptions.address;
        row.mac = deviceKey(firstCamera + i);
        // A 3.3 version makes the job connect at the row's own address.
        row.softwareVer = "V3.3.0.5";
        row.dataPort = gOptions.port + firstCamera + i;
        row.httpPort = 80;
        jobs.push_back(BuildDeviceJob(row, {kUser, kPassword, folder.string(), ""},
                                      static_cast<tuint32>(i), htonl(INADDR_LOOPBACK)));
    }
    state.setJobs(std::move(jobs));
    return StartWorkers(state) == StartResult::kStarted && state.waitForWorkersFor(kRunLimit) &&
           sink.successes() == static_cast<std::size_t>(cameras);
}

// The file every import sends: the camera's library, exported once before the rounds.
struct ImportSource
{
    ScratchFolder folder;
    facefile::Reader reader;
    std::string path;
};

ImportSource* gImport = nullptr;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The rates of one whole transfer of `libraryBytes` in `seconds`, and of its data phase
// when timed.
void reportRates(benchmark::State& state, double seconds, double libraryBytes,
                 double dataSeconds = 0, double dataBytes = 0)
{
    state.counters["library_bytes"] = libraryBytes;
    state.counters["bytes_per_second"] = libraryBytes / seconds;
    if (dataSeconds > 0)
        state.counters["data_phase_bytes_per_second"] = dataBytes / dataSeconds;
}

void BM_Export(benchmark::State& state)
{
    const ScratchFolder folder;
    for (auto _ : state) {
        TimingSink sink;
        const Clock::time_point start = Clock::now();
        if (!transfer(OperationType::ExportData, folder.path(), nullptr, sink)) {
            state.SkipWithError("the export failed");
            return;
        }
        const double seconds = secondsSince(start);
        facefile::Reader reader;
        if (reader.open(folder.dataFile().string()) != facefile::Check::Valid) {
            state.SkipWithError("the exported file does not pass the import check");
            return;
        }
        const double libraryBytes = reader.header().librarySize;
        reader.close();
        folder.clear();
        reportRates(state, seconds, libraryBytes, sink.dataSeconds(),
                    static_cast<double>(sink.exportBytesAfterFirst()));
    }
}

void BM_ExportReference(benchmark::State& state)
{
    const ScratchFolder folder;
    const std::string path = (folder.path() / "library.bin").string();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        galvorn::bench::StopWaitClient client;
        const std::int64_t bytes = client.open(gOptions.address, gOptions.port, kUser, kPassword)
                                       ? client.exportTo(path)
                                       : -1;
        if (bytes < 0) {
            state.SkipWithError("the reference export failed");
            return;
        }
        reportRates(state, secondsSince(start), static_cast<double>(bytes));
    }
}

void BM_Import(benchmark::State& state)
{
    const facefile::Reader& reader = gImport->reader;
    for (auto _ : state) {
        TimingSink sink;
        const Clock::time_point start = Clock::now();
        if (!transfer(OperationType::ImportData, gImport->folder.path(), &reader, sink)) {
            state.SkipWithError("the import failed");
            return;
        }
        // The first report acknowledges the first chunk; every later one one more chunk.
        const double dataBytes =
            static_cast<double>(reader.size() - facefile::kHeaderSize - facefile::kImportChunkSize);
        reportRates(state, secondsSince(start), reader.header().librarySize,
                    sink.reports() > 1 ? sink.dataSeconds() : 0, dataBytes);
    }
}

void BM_ImportReference(benchmark::State& state)
{
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        galvorn::bench::StopWaitClient client;
        if (!client.open(gOptions.address, gOptions.port, kUser, kPassword) ||
            !client.importFrom(gImport->path, facefile::kHeaderSize, facefile::kImportChunkSize)) {
            state.SkipWithError("the reference import failed");
            return;
        }
        reportRates(state, secondsSince(start), gImport->reader.header().librarySize);
    }
}

// One run importing into every parallel camera at once.
void BM_ImportParallel(benchmark::State& state)
{
    const facefile::Reader& reader = gImport->reader;
    for (auto _ : state) {
        TimingSink sink;
        const Clock::time_point start = Clock::now();
        if (!transfer(OperationType::ImportData, gImport->folder.path(), &reader, sink, 1,
                      gOptions.parallel)) {
            state.SkipWithError("a parallel import failed");
            return;
        }
        reportRates(state, secondsSince(start),
                    static_cast<double>(reader.header().librarySize) * gOptions.parallel);
    }
}

bool prepareImport(ImportSource& import)
{
    TimingSink sink;
    if (!transfer(OperationType::ExportData, import.folder.path(), nullptr, sink))
        return false;
    import.path = import.folder.dataFile().string();
    return import.reader.open(import.path) == facefile::Check::Valid;
}

void registerRound(const std::string& suffix, bool referenceFirst)
{
    using Entry = std::pair<const char*, void (*)(benchmark::State&)>;
    std::vector<Entry> order = {{"export", &BM_Export},
                                {"export_reference", &BM_ExportReference},
                                {"import", &BM_Import},
                                {"import_reference", &BM_ImportReference}};
    if (referenceFirst) {
        std::swap(order[0], order[1]);
        std::swap(order[2], order[3]);
    }
    for (const auto& [name, function] : order)
        benchmark::RegisterBenchmark((name + suffix).c_str(), function)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!parseOptions(argc, argv, gOptions)) {
        std::fprintf(stderr,
                     "usage: %s --camera=IP:PORT [--rounds=N] [--parallel=N] "
                     "[--parallel-rounds=N] [benchmark flags]\n",
                     argv[0]);
        return 2;
    }
    ImportSource import;
    if (!prepareImport(import)) {
        std::fprintf(stderr, "%s: the export of the import file failed\n", argv[0]);
        return 1;
    }
    gImport = &import;
    // Registered round by round, so the rounds alternate Galvorn and the reference.
    for (int round = 1; round <= gOptions.rounds; ++round)
        registerRound("/round:" + std::to_string(round), round % 2 == 0);
    if (gOptions.parallel > 0) {
        benchmark::RegisterBenchmark("import_parallel", &BM_ImportParallel)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(gOptions.parallelRounds);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gImport = nullptr;
    return 0;
}
