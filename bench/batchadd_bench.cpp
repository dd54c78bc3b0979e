// Batch add of 2,000 persons, half of them PNG pictures of one megapixel that must be
// re-encoded, into simulated cameras that answer every add 5 ms late: for one camera and
// for three, and for eight served one after another or all at once, beside the two
// bounds measured in the same run on the same folder.
//   encode  every picture prepared once, one after another on one thread
//   device  the same batch add with pictures that cost nothing to prepare
// A batch add can go no faster than max(device, encode / cores); the report gives each
// run's time as a multiple of that bound.
//
// Run it in a private network namespace, from a release build:
//   tests/netns/run-in-netns.sh build/release/bin/galvorn_bench_batchadd [--persons=N]

#include "facelib/batchadd.h"
#include "facelib/jobbuilder.h"
#include "facelib/persontable.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "platform/picturecodec_qt.h"
#include "tools/devsim/deviceface.h"
#include "tools/devsim/facetransfers.h"
#include "tools/devsim/reactorthread.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace galvorn;
namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr unsigned kAddDelayMs = 5;

std::size_t gPersons = 2000;

// Simulated cameras that take every person, on one reactor thread.
class Cameras
{
public:
    explicit Cameras(std::size_t count)
    {
        devsim::FaceLibrarySettings library;
        library.adds.delayMs = kAddDelayMs;
        for (std::size_t i = 0; i < count; ++i) {
            libraries_.push_back(std::make_unique<devsim::FaceTransferService>(library));
            faces_.push_back(std::make_unique<devsim::DeviceFace>(devsim::DeviceFaceSettings{},
                                                                  thread_.reactor()));
            std::string error;
            if (!libraries_.back()->open(error) || !faces_.back()->open(error)) {
                std::fprintf(stderr, "camera: %s\n", error.c_str());
                std::exit(3);
            }
            faces_.back()->setFaceLibrary(libraries_.back().get());
        }
        thread_.start();
    }
    ~Cameras()
    {
        thread_.stop();
        faces_.clear();
    }
    std::size_t size() const { return faces_.size(); }
    std::uint16_t port(std::size_t i) const { return faces_[i]->port(); }

private:
    devsim::ReactorThread thread_;
    std::vector<std::unique_ptr<devsim::FaceTransferService>> libraries_;
    std::vector<std::unique_ptr<devsim::DeviceFace>> faces_;
};

// A picture with the detail of a photograph: smooth areas and fine noise.
QImage photo(int width, int height, std::uint32_t seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28);
            image.setPixel(x, y,
                           qRgb((x * 255 / width + noise) & 0xFF, (y * 255 / height + noise) & 0xFF,
                                (x + y + noise) & 0xFF));
        }
    return image;
}

void save(const QImage& image, const char* format, const std::string& path)
{
    if (!image.save(QString::fromStdString(path), format)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(3);
    }
}

// The folder: a person table and one picture per person, every other one a 1000×1000
// PNG. The PNG and the JPEG files are copies of one picture each: the run prepares every
// person's picture on its own all the same.
class PictureFolder
{
public:
    PictureFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "galvorn-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        save(photo(1000, 1000, 1), "PNG", path_ + "/source.png");
        save(photo(480, 640, 2), "JPG", path_ + "/source.jpg");
        std::ofstream table(path_ + "/persons.csv");
        table << "(01)Name,(02)Gender,(03)Birthday,(12)Picture\r\n";
        for (std::size_t i = 0; i < gPersons; ++i) {
            const bool png = i % 2 == 0;
            const std::string name = "p" + std::to_string(i) + (png ? ".png" : ".jpg");
            fs::copy_file(path_ + (png ? "/source.png" : "/source.jpg"), path_ + "/" + name);
            table << "Person " << i << ",0,1990/1/1," << name << "\r\n";
        }
        fs::remove(path_ + "/source.png");
        fs::remove(path_ + "/source.jpg");
    }
    ~PictureFolder() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Prepares nothing: every person gets the same small picture at once.
class FreeCodec : public platform::PictureCodec
{
public:
    std::optional<platform::PictureSize> measure(std::span<const std::uint8_t>) const override
    {
        return platform::PictureSize{640, 480};
    }
    std::optional<platform::JpegPicture> toJpeg(std::span<const std::uint8_t>) const override
    {
        std::vector<std::uint8_t> jpeg(20000, 0);
        jpeg[0] = 0xFF;
        jpeg[1] = 0xD8;
        return platform::JpegPicture{std::move(jpeg), {640, 480}};
    }
};

struct Bench
{
    std::unique_ptr<PictureFolder> folder;
    std::shared_ptr<const std::vector<PersonInfo>> persons;
    platform::QtPictureCodec codec;
    double encodeSeconds = 0;
    double deviceSeconds = 0;
};

Bench& bench()
{
    static Bench instance;
    if (!instance.folder) {
        instance.folder = std::make_unique<PictureFolder>();
        const PersonListLoad load = LoadPersonList(instance.folder->path());
        if (load.result != PersonListLoad::Result::Ok) {
            std::fprintf(stderr, "the person table does not load\n");
            std::exit(3);
        }
        instance.persons = load.persons;
    }
    return instance;
}

class NullSink : public StatusSink
{
public:
    void postStatus(std::unique_ptr<CallbackInfo> info) override
    {
        failed_ += info->status == static_cast<tuint32>(DeviceStatus::ImportFail) ||
                   info->status == static_cast<tuint32>(DeviceStatus::ConnectFail);
    }
    int failed() const { return failed_; }

private:
    std::atomic<int> failed_{0};
};

// One batch add of the folder's persons into every camera, `atOnce` cameras at a time;
// the window serves one at a time.
double runBatchAdd(const Cameras& cameras, const platform::PictureCodec& codec,
                   std::size_t atOnce = 1)
{
    NullSink sink;
    RunState state(&sink);
    BatchAddSource source;
    source.persons = bench().persons;
    source.codec = &codec;
    source.devicesAtOnce = atOnce;
    state.setBatchAddSource(std::move(source));
    state.setOperation(OperationType::BatchAdd);
    std::vector<DeviceJob> jobs;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const DeviceRow row{"127.0.0.1",     "", "02:00:00:00:00:0" + std::to_string(i), "V3.3",
                            cameras.port(i), 80};
        jobs.push_back(BuildDeviceJob(row, {"admin", "123456", bench().folder->path(), ""},
                                      static_cast<tuint32>(i), htonl(INADDR_LOOPBACK)));
    }
    state.setJobs(std::move(jobs));
    const auto started = std::chrono::steady_clock::now();
    if (StartWorkers(state) != StartResult::kStarted)
        std::exit(3);
    state.waitForWorkers();
    const double seconds = Seconds(std::chrono::steady_clock::now() - started).count();
    if (sink.failed() != 0) {
        std::fprintf(stderr, "a camera did not take every person\n");
        std::exit(3);
    }
    return seconds;
}

void reportAgainstBound(benchmark::State& state, double seconds, double bound)
{
    state.SetIterationTime(seconds);
    state.counters["seconds"] = seconds;
    state.counters["bound_s"] = bound;
    state.counters["x_bound"] = seconds / bound;
}

void BM_EncodeEveryPictureOnOneThread(benchmark::State& state)
{
    Bench& b = bench();
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        for (const PersonInfo& person : *b.persons)
            benchmark::DoNotOptimize(PreparePicture(person, b.codec));
        b.encodeSeconds = Seconds(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(b.encodeSeconds);
    }
    state.counters["per_core_s"] = b.encodeSeconds / std::thread::hardware_concurrency();
}

void BM_DeviceTimeOneCamera(benchmark::State& state)
{
    const FreeCodec free;
    for (auto _ : state) {
        const Cameras cameras(1);
        bench().deviceSeconds = runBatchAdd(cameras, free);
        state.SetIterationTime(bench().deviceSeconds);
    }
    state.counters["ms_per_person"] = bench().deviceSeconds * 1000 / gPersons;
}

void BM_BatchAdd(benchmark::State& state)
{
    const auto cameraCount = static_cast<std::size_t>(state.range(0));
    Bench& b = bench();
    const double encodeBound = b.encodeSeconds / std::thread::hardware_concurrency();
    const double bound = std::max(b.deviceSeconds * static_cast<double>(cameraCount), encodeBound);
    for (auto _ : state) {
        const Cameras cameras(cameraCount);
        reportAgainstBound(state, runBatchAdd(cameras, b.codec), bound);
    }
}

// Eight cameras, served one after another (1) or all at once (8), as galvorn-cli's
// batch-add --parallel serves them. At once, the run can go no faster than the device
// time of one camera or the encoding spread over the cores, whichever is longer.
void BM_EightCamerasAtOnce(benchmark::State& state)
{
    constexpr std::size_t kCameras = 8;
    const auto atOnce = static_cast<std::size_t>(state.range(0));
    Bench& b = bench();
    const double encodeBound = b.encodeSeconds / std::thread::hardware_concurrency();
    const double rounds = std::ceil(double(kCameras) / double(atOnce));
    const double bound = std::max(b.deviceSeconds * rounds, encodeBound);
    for (auto _ : state) {
        const Cameras cameras(kCameras);
        reportAgainstBound(state, runBatchAdd(cameras, b.codec, atOnce), bound);
    }
}

BENCHMARK(BM_EncodeEveryPictureOnOneThread)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_DeviceTimeOneCamera)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BatchAdd)->Arg(1)->Arg(3)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EightCamerasAtOnce)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with("--persons=")) {
            gPersons = std::strtoul(arg.c_str() + 10, nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: %s [--persons=N] [benchmark flags]\n", argv[0]);
            return 2;
        }
    }
    if (gPersons == 0 || gPersons > kMaxBatchAddPersons)
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
