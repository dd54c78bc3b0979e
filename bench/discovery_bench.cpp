// Discovery at site scale: the real window searching cameras that galvorn-devsim plays in
// the same network namespace. The window is built and shown as the program builds it
// (style sheet, style, font) on whatever platform QT_QPA_PLATFORM names, and the search
// runs with the program's own period. The run measures:
//
//   listed_ms     from the window's construction (which starts the search) until the
//                 tree holds --cameras rows; -1 when that never happened
//   removed       rows taken out of the tree; every camera answers all along, so each one
//                 is a camera reported gone while it answers
//   idle_cpu_pct  CPU time of the whole process (window, search thread, this harness)
//                 over --idle-seconds, as a share of one core, once every camera is
//                 listed (or once --list-seconds passed) and --settle-seconds more
//   stall_ms      the longest lateness of a 10 ms timer on the GUI thread while the
//                 cameras are listed and during the settling time after: how long the
//                 GUI thread was kept from its event loop (stall_at_ms: when, from the
//                 start; long_stalls: how many were over 50 ms). The timer is stopped
//                 while the idle CPU is measured, so that its own wake-ups are not counted
//   paints        repaints of the tree's viewport during the idle time, and the shortest
//                 gap between two of them
//
//   galvorn_bench_discovery --cameras=N [--list-seconds=S] [--settle-seconds=S]
//                           [--idle-seconds=S]
//
// bench/run-discovery-bench.sh makes the namespace, starts the simulators and runs this
// binary, from one build or from two to compare them. It uses only what the window
// offered before the discovery work, so the same source builds against earlier commits.

#include "app/metatypes.h"
#include "app/vrnstyle.h"
#include "ui/devicetree/devicetree.h"
#include "ui/mainwindow/galvorn.h"
#include "widgets/vistatreewidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <sys/resource.h>

namespace {

constexpr int kLagTickMs = 10;
// Stalls longer than this are counted.
constexpr qint64 kStallLimitMs = 50;

struct Options
{
    int cameras = 0;
    int listSeconds = 45;
    int settleSeconds = 10;
    int idleSeconds = 30;
};

bool readNumber(std::string_view arg, std::string_view name, int& value)
{
    if (!arg.starts_with(name))
        return false;
    value = std::atoi(std::string(arg.substr(name.size())).c_str());
    return true;
}

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!readNumber(arg, "--cameras=", options.cameras) &&
            !readNumber(arg, "--list-seconds=", options.listSeconds) &&
            !readNumber(arg, "--settle-seconds=", options.settleSeconds) &&
            !readNumber(arg, "--idle-seconds=", options.idleSeconds))
            return false;
    }
    return options.cameras >= 0 && options.listSeconds > 0 && options.settleSeconds >= 0 &&
           options.idleSeconds > 0;
}

// User and system time of every thread of the process, in milliseconds.
double processCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The program's look, as app/main.cpp sets it up.
void applyProgramLook(QApplication& app)
{
    QFile sheet(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (sheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(12);
    app.setFont(font);
    app.setStyle(new VRNStyle);
    galvorn::registerMetaTypes();
}

// Counts the repaints of a widget while armed and keeps the shortest gap between two.
class PaintCounter : public QObject
{
public:
    bool armed = false;
    int paints = 0;
    qint64 shortestGapMs = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && armed) {
            if (paints > 0) {
                const qint64 gap = clock_.restart();
                shortestGapMs = shortestGapMs < 0 ? gap : std::min(shortestGapMs, gap);
            } else {
                clock_.start();
            }
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer clock_;
};

struct Figures
{
    qint64 listedMs = -1;
    int removed = 0;
    qint64 stallMs = 0;
    qint64 stallAtMs = 0;
    int longStalls = 0;
    double idleCpuPercent = 0;
    int rowsAtEnd = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --cameras=N [--list-seconds=S] [--settle-seconds=S] "
                     "[--idle-seconds=S]\n",
                     argv[0]);
        return 2;
    }
    applyProgramLook(app);

    Figures figures;
    QElapsedTimer sinceStart;
    sinceStart.start();
    auto window = std::make_unique<Galvorn>();
    window->show();
    VistaTreeWidget* tree = window->deviceTree().widget();
    const DeviceTree& devices = window->deviceTree();

    const auto listed = [&] {
        if (figures.listedMs < 0 && devices.deviceRowCount() == options.cameras)
            figures.listedMs = sinceStart.elapsed();
    };
    QObject::connect(tree->model(), &QAbstractItemModel::rowsInserted, tree, listed);
    QObject::connect(
        tree->model(), &QAbstractItemModel::rowsRemoved, tree,
        [&](const QModelIndex&, int first, int last) { figures.removed += last - first + 1; });
    listed();

    QTimer lag;
    lag.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    sinceTick.start();
    QObject::connect(&lag, &QTimer::timeout, [&] {
        const qint64 late = sinceTick.restart() - kLagTickMs;
        figures.longStalls += late > kStallLimitMs;
        if (late > figures.stallMs) {
            figures.stallMs = late;
            figures.stallAtMs = sinceStart.elapsed();
        }
    });
    lag.start(kLagTickMs);

    PaintCounter paints;
    tree->viewport()->installEventFilter(&paints);

    // Waits for the listing, then settles, then measures the idle time.
    QEventLoop phase;
    QTimer listingDone;
    listingDone.setSingleShot(true);
    QObject::connect(&listingDone, &QTimer::timeout, &phase, &QEventLoop::quit);
    QTimer listingCheck;
    QObject::connect(&listingCheck, &QTimer::timeout, &phase, [&] {
        if (figures.listedMs >= 0)
            phase.quit();
    });
    listingDone.start(options.listSeconds * 1000);
    listingCheck.start(100);
    phase.exec();
    listingCheck.stop();
    listingDone.stop();

    QTimer::singleShot(options.settleSeconds * 1000, &phase, &QEventLoop::quit);
    phase.exec();

    lag.stop();
    paints.armed = true;
    const double cpuBefore = processCpuMs();
    QElapsedTimer idle;
    idle.start();
    QTimer::singleShot(options.idleSeconds * 1000, &phase, &QEventLoop::quit);
    phase.exec();
    figures.idleCpuPercent = 100.0 * (processCpuMs() - cpuBefore) / double(idle.elapsed());
    paints.armed = false;
    figures.rowsAtEnd = devices.deviceRowCount();

    std::printf("cameras=%d listed_ms=%lld removed=%d rows_at_end=%d idle_cpu_pct=%.2f "
                "stall_ms=%lld stall_at_ms=%lld long_stalls=%d idle_paints=%d "
                "idle_paint_gap_ms=%lld idle_s=%d\n",
                options.cameras, static_cast<long long>(figures.listedMs), figures.removed,
                figures.rowsAtEnd, figures.idleCpuPercent, static_cast<long long>(figures.stallMs),
                static_cast<long long>(figures.stallAtMs), figures.longStalls, paints.paints,
                static_cast<long long>(paints.shortestGapMs), options.idleSeconds);
    std::fflush(stdout);
    tree->viewport()->removeEventFilter(&paints);
    window.reset();
    return 0;
}
