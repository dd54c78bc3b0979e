// Face-library export and import throughput against one simulated camera (galvorn-devsim)
// that the caller has started, through the same run state and workers as the window.
// Each iteration is one whole transfer: connect, login, start, the data phase, end, and
// for an export the data file's close and rename. The rate counted is library bytes per
// second of wall time.
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
#include "tests/facelib/recordingsink.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Runs one operation against the camera and waits for its worker; true when the device
// ended with success.
bool transfer(OperationType operation, const fs::path& folder, const facefile::Reader* file)
{
    RecordingSink sink;
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
    if (StartWorkers(state) != StartResult::kStarted || !state.waitForWorkersFor(kRunLimit))
        return false;
    const std::vector<tuint32> statuses = sink.statusesOf(kDeviceKey);
    return !statuses.empty() && statuses.back() == code(DeviceStatus::Success);
}

void reportRate(benchmark::State& state, std::uint64_t libraryBytes)
{
    const auto bytes = static_cast<double>(state.iterations() * libraryBytes);
    state.counters["library_bytes"] = static_cast<double>(libraryBytes);
    state.counters["bytes_per_second"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
}

void BM_Export(benchmark::State& state)
{
    const ScratchFolder folder;
    std::uint64_t libraryBytes = 0;
    for (auto _ : state) {
        if (!transfer(OperationType::ExportData, folder.path(), nullptr)) {
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
        state.ResumeTiming();
    }
    reportRate(state, libraryBytes);
}

void BM_Import(benchmark::State& state)
{
    // The camera's own library, exported once, is what every round imports back.
    const ScratchFolder folder;
    facefile::Reader reader;
    if (!transfer(OperationType::ExportData, folder.path(), nullptr) ||
        reader.open(folder.dataFile().string()) != facefile::Check::Valid) {
        state.SkipWithError("the export of the import file failed");
        return;
    }
    for (auto _ : state) {
        if (!transfer(OperationType::ImportData, folder.path(), &reader)) {
            state.SkipWithError("the import failed");
            return;
        }
    }
    reportRate(state, reader.header().librarySize);
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
