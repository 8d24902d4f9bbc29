// The batch install under load, run by hand: a membership of 200 packages (10 of them
// 64 MiB, fetched over ranges) from a download host in a child process, installed
// through the stand-in osascript and installer, as the window drives it.
//
//   ./build/bench/batch/bench_batch [--packages 200] [--large 10] [--wide 700] [--work /tmp/quillon-bench-batch]
//
// Reports the whole run's time, the process's peak memory, the disk the run used at its
// peak against the sum of the package sizes (target 1.1x), the time from "stop" to the
// run having ended (target 200 ms), the longest main-thread stall (a 5 ms timer's largest
// gap; target 50 ms) beside the main thread's own CPU time (it sleeps between events),
// and the batch size at which the administrator command no longer fits
// in one argument, with a run of --wide packages beyond it.

#include "install/BatchInstallResult.h"
#include "model/PluginManager.h"
#include "PackageHost.h"
#include "packaging/PackageBuilder.h"
#include "packaging/PatternedBytes.h"
#include "records/AdministratorCommand.h"
#include "support/FakeAccountService.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace quillon;
using namespace std::chrono_literals;

namespace {

constexpr qint64 kSmall = 256 * 1024;
constexpr qint64 kLarge = 64 * 1024 * 1024;
const QString kTitles =
    QStringLiteral("/Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized");

QString packageName(int i) { return QStringLiteral("bench-%1.pkg").arg(i, 3, 10, QLatin1Char('0')); }

/// Which of `count` packages are large: spread evenly, never the first.
bool isLarge(int i, int count, int large) { return large > 0 && i % (count / large) == count / large - 1; }

/// The host child: builds the packages it lacks, serves them, and lives until stdin closes.
int host(const QString &folder, int count, int large) {
    QDir().mkpath(folder);
    bench::PackageHost packages;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(packageName(i));
        const qint64 size = isLarge(i, count, large) ? kLarge : kSmall;
        if (QFileInfo(path).size() < size) {
            packaging::PackageBuilder(kTitles)
                .file(QStringLiteral("Vrel Bench %1.localized/payload.bin").arg(i),
                      QByteArray::fromStdString(packaging::patternedBytes(size_t(size), uint64_t(i) + 1)))
                .write(path);
        }
        packages.serve(packageName(i).toStdString(), path);
    }
    std::printf("%s\n", packages.url("").toString().toUtf8().constData());
    std::fflush(stdout);
    char buffer[64];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    return 0;
}

/// Bytes allocated on disk under `path` (below it too when `deep`) for files whose name passes `wanted`.
qint64 allocated(const QString &path, bool deep, const std::function<bool(const QString &)> &wanted) {
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System,
                    deep ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        const QString file = it.next();
        struct stat info {};
        if (wanted(it.fileName()) && ::lstat(QFile::encodeName(file).constData(), &info) == 0) {
            total += qint64(info.st_blocks) * 512;
        }
    }
    return total;
}

qint64 peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

void resetPeakResident() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

/// One batch of `names` from the host, in a fresh world.
struct Bench {
    Bench(const QUrl &hostBase, const QStringList &names) {
        world.timing = Timing::standard();
        model = std::make_unique<PluginManager>(world.environment(service.baseUrl()));
        model->setIsWechatLoggedIn(true);
        model->setManagerAccessToken(QStringLiteral("bench"));
        model->setActivatedProductKey(QStringLiteral("vrel-all-plugins-lifetime"));
        model->setActivatedProductType(QStringLiteral("all_plugins"));
        QList<MemberProduct> products;
        for (int i = 0; i < names.size(); ++i) {
            MemberProduct product;
            product.productKey = QStringLiteral("p%1").arg(i);
            product.productName = QStringLiteral("Vrel Bench %1").arg(i);
            product.productType = QStringLiteral("plugin");
            products.append(product);
            service.then("/api/manager/download",
                         test::ScriptedReply::json(200, QJsonObject{{"productKey", product.productKey},
                                                                    {"downloadUrl", hostBase.resolved(names[i]).toString()},
                                                                    {"packageVersion", "1.0"}}));
        }
        model->setMemberProducts(products);
    }

    ~Bench() {
        // The staging folder is deleted in the background; let it go before the world does.
        model.reset();
        test::waitUntil([this] {
            return QDir(world.paths.temporary).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        });
    }

    /// Bytes of the run's own files on disk now: staging, managed packages, downloads in flight.
    qint64 diskInUse() const {
        const auto any = [](const QString &) { return true; };
        return allocated(world.paths.temporary, true, any) + allocated(world.paths.applicationSupport, true, any) +
               allocated(QDir::tempPath(), false, [](const QString &name) { return name.startsWith("Vrel-download-"); });
    }

    test::FakeAccountService service;
    test::TestWorld world;
    std::unique_ptr<PluginManager> model;
};

qint64 threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

/// The longest gap between the beats of a 5 ms timer, what the run was doing just before
/// it, and the longest the main thread itself computed between two beats (a gap much
/// longer than that was the machine running something else).
struct Heartbeat {
    explicit Heartbeat(const PluginManager &model) {
        QObject::connect(&timer, &QTimer::timeout, [this, &model] {
            const qint64 gap = beat.restart() - 5;
            const qint64 cpu = threadCpuMs();
            longestBusy = std::max(longestBusy, cpu - lastCpu);
            lastCpu = cpu;
            if (gap > longest) {
                longest = gap;
                during = lastStatus;
            }
            lastStatus = model.batchInstallStatus();
        });
        timer.setTimerType(Qt::PreciseTimer);
        beat.start();
        timer.start(5);
    }
    QTimer timer;
    QElapsedTimer beat;
    qint64 longest = 0;
    qint64 longestBusy = 0;
    const qint64 firstCpu = threadCpuMs();
    qint64 lastCpu = firstCpu;
    QString during;
    QString lastStatus;
};

QStringList names(int count) {
    QStringList result;
    for (int i = 0; i < count; ++i) {
        result.append(packageName(i));
    }
    return result;
}

/// The first count of packages in the staging folder (`stage`) whose script no longer fits one argument.
int packagesBeyondOneArgument(const QString &stage, const QString &installer) {
    QStringList paths;
    for (int n = 1;; ++n) {
        paths.append(QDir(stage).filePath(QString::asprintf("%02d.pkg", n)));
        if (appleScriptSource(BatchInstallResult::command(paths, installer)).toUtf8().size() + 1 > 128 * 1024) {
            return n;
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"packages", "packages in the batch", "n", "200"},
                       {"large", "of them 64 MiB", "n", "10"},
                       {"wide", "packages of the run beyond one argument (0: none)", "n", "700"},
                       {"work", "working folder", "path", "/tmp/quillon-bench-batch"},
                       {"host", "(internal) serve packages from this folder", "path"}});
    parser.process(app);
    const int count = parser.value("packages").toInt();
    const int large = parser.value("large").toInt();
    const QString work = parser.value("work");
    if (parser.isSet("host")) {
        return host(parser.value("host"), count, large);
    }

    // Everything the run writes stays on one file system, inside the working folder.
    const QString temporary = QDir(work).filePath("tmp");
    QDir(temporary).removeRecursively();
    QDir().mkpath(temporary);
    qputenv("TMPDIR", QFile::encodeName(temporary));

    QProcess child;
    child.start(app.applicationFilePath(), {"--host", QDir(work).filePath("packages"), "--packages",
                                            QString::number(count), "--large", QString::number(large)});
    if (!child.waitForReadyRead(600'000)) {
        std::fprintf(stderr, "the package host did not start\n");
        return 1;
    }
    const QUrl hostBase(QString::fromUtf8(child.readLine().trimmed()));
    qint64 packageBytes = 0;
    for (int i = 0; i < count; ++i) {
        packageBytes += QFileInfo(QDir(work).filePath("packages/" + packageName(i))).size();
    }

    // The whole batch.
    double seconds = 0;
    qint64 peakDisk = 0;
    qint64 stall = 0;
    QString stallDuring;
    qint64 busy = 0;
    qint64 mainCpu = 0;
    qint64 peakKiB = 0;
    QString outcome;
    QString stage;
    {
        Bench bench(hostBase, names(count));
        std::atomic<bool> sampling{true};
        std::atomic<qint64> peak{0};
        std::thread sampler([&] {
            while (sampling) {
                peak = std::max(peak.load(), bench.diskInUse());
                std::this_thread::sleep_for(10ms);
            }
        });
        resetPeakResident();
        Heartbeat heartbeat(*bench.model);
        QElapsedTimer clock;
        clock.start();
        bench.model->installAllMemberProducts();
        test::waitUntil([&] { return !bench.model->isBatchInstalling(); }, 3600s);
        seconds = clock.nsecsElapsed() / 1e9;
        stall = heartbeat.longest;
        stallDuring = heartbeat.during;
        busy = heartbeat.longestBusy;
        mainCpu = threadCpuMs() - heartbeat.firstCpu;
        peakKiB = peakResidentKiB();
        sampling = false;
        sampler.join();
        peakDisk = peak;
        outcome = bench.model->installMessage();
        stage = bench.world.paths.temporary + QStringLiteral("/Vrel-批量安装-00000000-0000-0000-0000-000000000000");
    }

    // Stop while a large package is on its way, and while a small one is.
    std::vector<double> stops;
    const int spacing = count / std::max(large, 1);
    for (int round = 0; round < 6; ++round) {
        // Rounds 0-2 stop during the 1st, 2nd and 3rd large package, rounds 3-5 during a small one.
        const bool stopDuringLarge = round < 3 && large > 0;
        const int target = std::min(count - 1, (round % 3) * spacing + (stopDuringLarge ? spacing - 1 : 5));
        Bench bench(hostBase, names(count));
        bench.model->installAllMemberProducts();
        test::waitUntil([&] { return bench.model->batchInstallCompleted() >= target; }, 600s);
        test::waitUntil([] { return false; }, stopDuringLarge ? 60ms : 2ms); // into the transfer
        QElapsedTimer clock;
        clock.start();
        bench.model->terminateBatchInstall();
        test::waitUntil([&] { return !bench.model->isBatchInstalling(); }, 60s);
        if (bench.model->installMessage() == QStringLiteral("已终止批量安装。未进入安装的内容不会继续处理。")) {
            stops.push_back(clock.nsecsElapsed() / 1e6);
        } else {
            std::fprintf(stderr, "round %d: the stop came after the downloads; not counted\n", round);
        }
    }

    // Beyond one argument: many small packages (the host serves one file under many names).
    const QString installer = SystemTools::current().installer;
    const int macLimit = packagesBeyondOneArgument(
        QStringLiteral("/var/folders/zz/zyxvpxvq6csfxvn_n0000000000000/T/Vrel-批量安装-00000000-0000-0000-0000-000000000000"),
        QStringLiteral("/usr/sbin/installer"));
    const int hereLimit = packagesBeyondOneArgument(stage, installer);
    const int wide = parser.value("wide").toInt();
    QString wideOutcome = QStringLiteral("not run");
    double wideSeconds = 0;
    if (wide > 0) {
        QStringList many;
        for (int i = 0; i < wide; ++i) {
            many.append(packageName(0) + QStringLiteral("?copy=%1").arg(i));
        }
        Bench bench(hostBase, many);
        QElapsedTimer clock;
        clock.start();
        bench.model->installAllMemberProducts();
        test::waitUntil([&] { return !bench.model->isBatchInstalling(); }, 3600s);
        wideSeconds = clock.nsecsElapsed() / 1e9;
        wideOutcome = bench.model->installMessage();
    }
    child.closeWriteChannel();
    child.waitForFinished();

    std::sort(stops.begin(), stops.end());
    std::printf("batch of %d packages (%d of 64 MiB), %.1f MiB in all\n", count, large, packageBytes / 1048576.0);
    std::printf("  outcome:                 %s\n", qPrintable(outcome));
    std::printf("  total time:              %.2f s\n", seconds);
    std::printf("  peak memory (VmHWM):     %.1f MiB\n", peakKiB / 1024.0);
    std::printf("  disk at peak:            %.1f MiB = %.3fx the packages (target <= 1.1x)\n", peakDisk / 1048576.0,
                double(peakDisk) / double(packageBytes));
    std::printf("  longest main-thread stall: %lld ms wall (target < 50 ms), after \"%s\"; "
                "longest main-thread computing between two beats: %lld ms\n",
                static_cast<long long>(stall), qPrintable(stallDuring), static_cast<long long>(busy));
    std::printf("  main-thread CPU:         %.2f s of %.2f s\n", mainCpu / 1000.0, seconds);
    std::printf("  stop to end:             ");
    for (double ms : stops) {
        std::printf("%.1f ", ms);
    }
    std::printf("ms (max %.1f; target < 200 ms)\n", stops.empty() ? 0.0 : stops.back());
    std::printf("  one osascript argument overflows 128 KiB at %d packages here, %d with a macOS temporary folder\n",
                hereLimit, macLimit);
    std::printf("  %d packages beyond it: %s (%.1f s)\n", wide, qPrintable(wideOutcome), wideSeconds);
    return 0;
}
