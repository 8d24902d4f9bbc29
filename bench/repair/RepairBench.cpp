// The Motion repair's discovery and the uninstall under load.
//
// Discovery: 10,000 entries in the two .MotionSupport trees, 200 of them runtime bundles
// (target: under 100 ms). Uninstall: one deletePlugins call over 500 plug-ins through the
// stand-in osascript and the real rm, with 500 member products whose receipts all go;
// reports the cost per plug-in and the longest stall of the main thread, measured as the
// largest gap between the ticks of a 1 ms timer on it (target: under 50 ms), beside the
// main thread's own CPU time. The main thread sleeps in its event loop between events, as
// the application's does, so an idle baseline costs it next to nothing.
//
//   ./build/bench/repair/bench_repair

#include "inventory/MotionRuntimeRepair.h"
#include "model/PluginManager.h"
#include "packaging/MotionRuntimeBuilder.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <stdexcept>

using namespace quillon;

namespace {

constexpr int runtimeCount = 200;
constexpr int entriesPerTemplate = 50; // the runtime, a template file, a media folder and its files
constexpr int pluginCount = 500;

void touch(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write a file");
    }
}

/// Template folders in both .MotionSupport trees, three quarters in the user's.
struct RuntimeWorld {
    test::TestWorld world;
    int entries = 0;

    RuntimeWorld() {
        const QString support = QStringLiteral("Library/Application Support/Final Cut Pro/.MotionSupport/");
        for (int i = 0; i < runtimeCount; ++i) {
            const QString tree = (i % 4 == 3 ? QStringLiteral("system/") : QStringLiteral("home/")) + support;
            const QString folder = world.makeFolder(tree + QStringLiteral("模板 %1/.Resources").arg(i));
            packaging::writeMotionRuntime(folder + QStringLiteral("/MotionRuntime.app"),
                                     {.identifier = QStringLiteral("local.motiontemplate.runtime.RUNTIME-%1").arg(i, 6, 10, QLatin1Char('0')),
                                      .application = packaging::Seal::none,
                                      .extension = packaging::Seal::none});
            touch(folder + QStringLiteral("/../Template.moti"));
            const QString media = world.makeFolder(tree + QStringLiteral("模板 %1/Media").arg(i));
            // The template folder, .Resources, the runtime, the template file and Media: 5
            // entries; the rest are media files.
            for (int f = 0; f < entriesPerTemplate - 5; ++f) {
                touch(media + QStringLiteral("/clip-%1.mov").arg(f));
            }
            entries += entriesPerTemplate;
        }
    }
};

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

/// The longest gap between the ticks of a 1 ms timer on the main thread while it runs, and
/// beside it what the main thread itself computed: the longest stretch between two ticks
/// and its CPU time in all. A gap far longer than the longest stretch was the machine
/// running something else; the thread sleeps between ticks, so its CPU time is its own work.
class StallMeter final {
public:
    StallMeter() {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, double(m_sinceTick.nsecsElapsed()) / 1e6);
            m_sinceTick.restart();
            const qint64 cpu = threadCpuNs();
            m_longestBusy = std::max(m_longestBusy, double(cpu - m_lastCpu) / 1e6);
            m_lastCpu = cpu;
        });
        m_sinceTick.start();
        m_ticker.start();
    }
    double longestMs() const { return m_longest; }
    double longestBusyMs() const { return m_longestBusy; }
    double cpuMs() const { return double(threadCpuNs() - m_firstCpu) / 1e6; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    double m_longest = 0;
    double m_longestBusy = 0;
    const qint64 m_firstCpu = threadCpuNs();
    qint64 m_lastCpu = m_firstCpu;
};

void BM_Discovery(benchmark::State &state) {
    static RuntimeWorld runtimes;
    qsizetype found = 0;
    for (auto _ : state) {
        found = MotionRuntimeRepair::discover(runtimes.world.paths, true, true).size();
        benchmark::DoNotOptimize(found);
    }
    if (found != runtimeCount) {
        state.SkipWithError("not every runtime was found");
    }
    state.counters["entries"] = runtimes.entries;
    state.counters["runtimes"] = double(found);
}
BENCHMARK(BM_Discovery)->Unit(benchmark::kMillisecond);

void BM_Uninstall500(benchmark::State &state) {
    double longestStall = 0;
    double longestBusy = 0;
    double mainCpuMs = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        test::TestWorld world;
        const QString titles = QStringLiteral("home/Movies/Motion Templates.localized/Titles.localized/");
        QList<MemberProduct> products;
        for (int i = 0; i < pluginCount; ++i) {
            const QString name = QStringLiteral("Vrel 字幕包 %1").arg(i);
            touch(world.makeFolder(titles + name) + QStringLiteral("/Title.moti"));
            MemberProduct product;
            product.productKey = QStringLiteral("product-%1").arg(i);
            product.productName = name;
            products.append(product);
        }
        PluginManager model(world.environment());
        for (const MemberProduct &product : products) {
            model.defaults().setValue(QStringLiteral("vrel.product.install.receipt.") + product.productKey, true);
        }
        model.setMemberProducts(products);
        model.refreshInstalledPlugins();
        const QList<InstalledPlugin> plugins = model.installedPlugins();
        if (plugins.size() != pluginCount) {
            state.SkipWithError("the plug-ins were not all found");
            return;
        }
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        const StallMeter meter;
        model.deletePlugins(plugins);
        if (!test::waitUntil([&] { return !model.isWorking(); }, std::chrono::minutes(10))) {
            state.SkipWithError("the uninstall did not end");
            return;
        }
        const double stall = meter.longestMs();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        seconds += double(clock.nsecsElapsed()) / 1e9;
        longestStall = std::max(longestStall, stall);
        longestBusy = std::max(longestBusy, meter.longestBusyMs());
        mainCpuMs += meter.cpuMs();
        if (!model.installedPlugins().isEmpty() ||
            model.defaults().contains(QStringLiteral("vrel.product.install.receipt.") + products.last().productKey)) {
            state.SkipWithError("some plug-ins or receipts were not removed");
            break;
        }
    }
    state.counters["per_plugin_ms"] = seconds * 1000 / (double(state.iterations()) * pluginCount);
    state.counters["max_stall_ms"] = longestStall;
    state.counters["max_busy_ms"] = longestBusy;
    state.counters["main_cpu_ms"] = mainCpuMs / double(state.iterations());
    state.counters["wall_ms"] = seconds * 1000 / double(state.iterations());
}
BENCHMARK(BM_Uninstall500)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same meter over an idle event loop for as long as one uninstall takes: what the
// machine itself costs the main thread (a loaded machine shows long gaps here too), and
// what the meter and the wait cost it (the thread sleeps between ticks).
void BM_IdleStallBaseline(benchmark::State &state) {
    double longest = 0;
    double longestBusy = 0;
    double cpuMs = 0;
    for (auto _ : state) {
        const StallMeter meter;
        test::waitUntil([] { return false; }, std::chrono::seconds(5));
        longest = std::max(longest, meter.longestMs());
        longestBusy = std::max(longestBusy, meter.longestBusyMs());
        cpuMs = meter.cpuMs();
    }
    state.counters["max_stall_ms"] = longest;
    state.counters["max_busy_ms"] = longestBusy;
    state.counters["main_cpu_ms"] = cpuMs;
}
BENCHMARK(BM_IdleStallBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
