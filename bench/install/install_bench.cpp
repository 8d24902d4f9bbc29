// Installs one product end to end as the member library does: the download authorisation
// from a local service, the download, the administrator install through the stand-in
// osascript and installer, and the records. Reports the wall time, the longest time the
// main thread was kept from its event loop, the peak memory and what the temporary
// folder holds afterwards.
//
//   quillon_install_bench make-package <path> <bytes>
//       writes a flat package whose gzip -1 cpio payload installs one title folder with
//       <bytes> of incompressible media in 64 files, and <path>.sha256 with their sums
//   quillon_install_bench install <package-url> <work-folder>
//       installs it into a fresh world under <work-folder>
//
// Exit status 0 when the install succeeded and the temporary folder ended empty.

#include "inventory/InstallRecords.h"
#include "model/PluginManager.h"
#include "support/Fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QTimer>

#include <archive.h>
#include <archive_entry.h>
#include <httplib.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>
#include <thread>

using namespace quillon;

namespace {

const QString kTitles = QStringLiteral("/Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized");
const QString kFolder = QStringLiteral("Vrel Bench");

bool ok(archive *a, int status, const char *what) {
    if (status < ARCHIVE_WARN) {
        std::fprintf(stderr, "%s: %s\n", what, archive_error_string(a));
        return false;
    }
    return true;
}

bool addEntry(archive *a, const QByteArray &path, unsigned type, qint64 size) {
    archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, path.constData());
    archive_entry_set_filetype(entry, type);
    archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
    archive_entry_set_size(entry, type == AE_IFDIR ? 0 : size);
    const bool written = ok(a, archive_write_header(a, entry), "entry");
    archive_entry_free(entry);
    return written;
}

/// Incompressible bytes, as video and rendered media are: the file's own xorshift stream.
class MediaBytes final {
public:
    explicit MediaBytes(quint64 seed) : m_x(seed * 0x9E3779B97F4A7C15ull | 1) {}
    const char *next(size_t bytes) {
        m_block.resize((bytes + 7) / 8);
        for (quint64 &word : m_block) {
            m_x ^= m_x << 13;
            m_x ^= m_x >> 7;
            m_x ^= m_x << 17;
            word = m_x;
        }
        return reinterpret_cast<const char *>(m_block.data());
    }

private:
    quint64 m_x;
    std::vector<quint64> m_block;
};

constexpr int kMediaFiles = 64;
constexpr qint64 kChunk = 1 << 20;

QByteArray mediaName(int i) { return "./" + kFolder.toUtf8() + QStringLiteral("/Media/clip-%1.mov").arg(i, 2, 10, QLatin1Char('0')).toUtf8(); }

/// The gzip -1 cpio payload at `path`: the title folder with its template and `mediaBytes`
/// of media in kMediaFiles files, so the installer really writes them. Writes each file's
/// SHA-256 beside it into `sums` (sha256sum's format, relative to the install location).
bool writePayload(const QString &path, qint64 mediaBytes, QByteArray &sums) {
    archive *a = archive_write_new();
    archive_write_set_format_cpio_newc(a);
    archive_write_add_filter_gzip(a);
    archive_write_set_filter_option(a, "gzip", "compression-level", "1");
    bool good = ok(a, archive_write_open_filename(a, QFile::encodeName(path).constData()), "payload");
    const QByteArray title = "motion";
    good = good && addEntry(a, ".", AE_IFDIR, 0) && addEntry(a, "./" + kFolder.toUtf8(), AE_IFDIR, 0) &&
           addEntry(a, "./" + kFolder.toUtf8() + "/Title.moti", AE_IFREG, title.size()) &&
           archive_write_data(a, title.constData(), size_t(title.size())) == title.size() &&
           addEntry(a, "./" + kFolder.toUtf8() + "/Media", AE_IFDIR, 0);
    const qint64 each = mediaBytes / kMediaFiles;
    for (int i = 0; good && i < kMediaFiles; ++i) {
        const qint64 size = i + 1 == kMediaFiles ? mediaBytes - each * (kMediaFiles - 1) : each;
        good = addEntry(a, mediaName(i), AE_IFREG, size);
        MediaBytes bytes(quint64(i) + 1);
        QCryptographicHash sum(QCryptographicHash::Sha256);
        for (qint64 left = size; good && left > 0;) {
            const size_t n = size_t(std::min(left, kChunk));
            const char *block = bytes.next(n);
            sum.addData(QByteArrayView(block, qsizetype(n)));
            good = archive_write_data(a, block, n) == la_ssize_t(n);
            left -= qint64(n);
        }
        sums += sum.result().toHex() + "  " + mediaName(i).mid(2 + kFolder.toUtf8().size() + 1) + '\n';
    }
    good = good && ok(a, archive_write_close(a), "payload");
    archive_write_free(a);
    return good;
}

/// Streams the file at `from` into the archive's current entry.
bool copyInto(archive *a, const QString &from) {
    QFile file(from);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QByteArray block(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n <= 0) {
            return n == 0;
        }
        if (archive_write_data(a, block.constData(), size_t(n)) != la_ssize_t(n)) {
            return false;
        }
    }
}

int makePackage(const QString &path, qint64 mediaBytes) {
    const QByteArray info = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<pkg-info format-version=\"2\" "
                                           "identifier=\"com.vrel.bench\" version=\"1.0\" install-location=\"%1\" "
                                           "auth=\"root\">\n</pkg-info>\n")
                                .arg(kTitles)
                                .toUtf8();
    const QString payloadPath = path + QStringLiteral(".payload");
    QByteArray sums;
    if (!writePayload(payloadPath, mediaBytes, sums)) {
        QFile::remove(payloadPath);
        return 1;
    }
    archive *a = archive_write_new();
    archive_write_set_format_xar(a);
    archive_write_set_option(a, "xar", "compression", "none");
    bool good = ok(a, archive_write_open_filename(a, QFile::encodeName(path).constData()), "open");
    for (const auto &[name, bytes] : {std::pair{QByteArray("PackageInfo"), info}, std::pair{QByteArray("Bom"), QByteArray("BOMStore")}}) {
        good = good && addEntry(a, name, AE_IFREG, bytes.size()) &&
               archive_write_data(a, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    good = good && addEntry(a, "Payload", AE_IFREG, QFileInfo(payloadPath).size()) && copyInto(a, payloadPath);
    good = good && ok(a, archive_write_close(a), "close");
    archive_write_free(a);
    QFile::remove(payloadPath);
    QFile manifest(path + QStringLiteral(".sha256"));
    good = good && manifest.open(QIODevice::WriteOnly) && manifest.write(sums) == sums.size();
    return good ? 0 : 1;
}

qint64 threadCpuUs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

qint64 peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int install(const QString &packageUrl, const QString &work) {
    QDir(work).removeRecursively();
    SystemPaths paths;
    for (auto [field, relative] : {std::pair{&paths.systemRoot, "system"}, std::pair{&paths.home, "home"},
                                   std::pair{&paths.applicationSupport, "home/Library/Application Support"},
                                   std::pair{&paths.downloads, "home/Downloads"}, std::pair{&paths.temporary, "tmp"}}) {
        *field = QDir(work).filePath(QString::fromLatin1(relative));
        QDir().mkpath(*field);
    }
    // Every temporary file of the run, the children's included, lands in the world's folder.
    qputenv("TMPDIR", QFile::encodeName(paths.temporary));

    httplib::Server service;
    service.Post("/api/manager/download", [&](const httplib::Request &request, httplib::Response &response) {
        if (request.get_header_value("Authorization") != "Bearer bench") {
            response.status = 401;
            response.set_content(R"({"error":"登录已失效"})", "application/json");
            return;
        }
        response.set_content(R"({"productKey":"bench-1g","productName":"Vrel Bench 1G","packageVersion":"1.0","downloadUrl":")" +
                                 packageUrl.toStdString() + "\"}",
                             "application/json");
    });
    const int port = service.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { service.listen_after_bind(); });

    ModelEnvironment environment;
    environment.preferences = Preferences::inFile(QDir(work).filePath(QStringLiteral("preferences.json")));
    environment.paths = paths;
    environment.tools = SystemTools::standIns(QStringLiteral(QUILLON_TOOLS_DIR));
    environment.workspace = std::make_shared<test::FakeWorkspace>();
    environment.pasteboard = std::make_shared<test::FakePasteboard>();
    environment.alerts = std::make_shared<test::FakeAlerts>();
    environment.apiBase = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    environment.timing = Timing::standard();

    int exitCode = 1;
    {
        PluginManager model(environment);
        model.setManagerAccessToken(QStringLiteral("bench"));
        model.setIsWechatLoggedIn(true);
        model.setSelectedMembershipUsesWechatAccount(true);
        model.setActivatedProductKey(QStringLiteral("m1"));
        model.setActivatedProductType(QStringLiteral("all_site"));

        // The longest gap between beats, and the stage the run was in when it ended; beside
        // it the longest the main thread itself computed between two beats (it sleeps in
        // its event loop otherwise): a gap much longer than that was the machine's load.
        QElapsedTimer clock;
        QList<std::pair<QString, qint64>> stages;
        QElapsedTimer beat;
        qint64 longestGapMs = 0;
        QString longestGapStage;
        qint64 lastCpuUs = threadCpuUs();
        qint64 longestBusyUs = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 gap = beat.restart();
            const qint64 cpu = threadCpuUs();
            longestBusyUs = std::max(longestBusyUs, cpu - lastCpuUs);
            lastCpuUs = cpu;
            if (gap > longestGapMs) {
                longestGapMs = gap;
                longestGapStage = model.installMessage();
            }
            // When each stage was first seen, to the beat: where the time goes.
            if (stages.isEmpty() || stages.last().first != model.installMessage()) {
                stages.append({model.installMessage(), clock.elapsed()});
            }
        });
        beat.start();
        heartbeat.start(5);

        clock.start();
        bool installed = false;
        bool done = false;
        auto run = [](PluginManager *m, bool *result, bool *flag) -> QCoro::Task<> {
            auto installing = m->performDownloadAndInstall(QStringLiteral("bench-1g"), QStringLiteral("Vrel Bench 1G"),
                                                           false, true);
            *result = co_await installing;
            *flag = true;
            QCoreApplication::quit();
        }(&model, &installed, &done);
        if (!done) {
            QCoreApplication::exec();
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const QStringList left = QDir(paths.temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const bool placed = QFile::exists(paths.systemRoot + kTitles + QLatin1Char('/') + kFolder + QStringLiteral("/Title.moti"));
        std::fprintf(stderr,
                     "install: %s, %.3f s, longest main-thread gap %lld ms (ending in \"%s\"; longest computing "
                     "between two beats %.1f ms), peak memory %lld KiB, temporary folder %s, folder %s, receipt %s\n  %s\n",
                     installed ? "installed" : "FAILED", seconds, static_cast<long long>(longestGapMs - 5),
                     qPrintable(longestGapStage), double(longestBusyUs) / 1000,
                     static_cast<long long>(peakKiB()),
                     left.isEmpty() ? "empty" : qPrintable(QStringLiteral("holds ") + left.join(QStringLiteral(", "))),
                     placed ? "installed" : "MISSING", model.hasInstallReceipt(QStringLiteral("bench-1g")) ? "written" : "MISSING",
                     qPrintable(model.installMessage()));
        for (const auto &[stage, atMs] : stages) {
            std::fprintf(stderr, "  at %6lld ms: %s\n", static_cast<long long>(atMs), qPrintable(stage));
        }
        std::fprintf(stderr, "  at %6lld ms: the run ended\n", static_cast<long long>(seconds * 1000));
        std::printf("%.3f\t%lld\t%lld\t%d\t%.1f\n", seconds, static_cast<long long>(longestGapMs - 5),
                    static_cast<long long>(peakKiB()), left.isEmpty() ? 1 : 0, double(longestBusyUs) / 1000);
        exitCode = installed && placed && left.isEmpty() ? 0 : 1;
    }
    service.stop();
    serving.join();
    return exitCode;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("make-package")) {
        return makePackage(args[2], args[3].toLongLong());
    }
    if (args.size() == 4 && args[1] == QLatin1String("install")) {
        return install(args[2], args[3]);
    }
    std::fprintf(stderr, "usage: quillon_install_bench make-package <path> <bytes>\n"
                         "       quillon_install_bench install <package-url> <work-folder>\n");
    return 2;
}
