// Installs one product end to end as the member library does: the download authorisation
// from a local service, the download, the administrator install through the stand-in
// osascript and installer, and the records. Reports the wall time, the longest time the
// main thread was kept from its event loop, the peak memory and what the temporary
// folder holds afterwards.
//
//   quillon_install_bench make-package <path> <bytes>
//       writes a flat package that installs one title folder and carries <bytes> of
//       incompressible media beside its payload (stored, so it is quick to write)
//   quillon_install_bench install <package-url> <work-folder>
//       installs it into a fresh world under <work-folder>
//
// Exit status 0 when the install succeeded and the temporary folder ended empty.

#include "inventory/InstallRecords.h"
#include "model/PluginManager.h"
#include "support/Fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <archive.h>
#include <archive_entry.h>
#include <httplib.h>
#include <sys/resource.h>

#include <cstdio>
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

la_ssize_t writeBytes(archive *, void *buffer, const void *data, size_t size) {
    static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(size));
    return la_ssize_t(size);
}

// The gzip cpio payload: one title folder with one file.
QByteArray payload() {
    QByteArray bytes;
    archive *a = archive_write_new();
    archive_write_set_format_cpio(a);
    archive_write_add_filter_gzip(a);
    archive_write_open(a, &bytes, nullptr, &writeBytes, nullptr);
    const QByteArray file = "motion";
    addEntry(a, ".", AE_IFDIR, 0);
    addEntry(a, "./" + kFolder.toUtf8(), AE_IFDIR, 0);
    addEntry(a, "./" + kFolder.toUtf8() + "/Title.moti", AE_IFREG, file.size());
    archive_write_data(a, file.constData(), size_t(file.size()));
    archive_write_close(a);
    archive_write_free(a);
    return bytes;
}

int makePackage(const QString &path, qint64 mediaBytes) {
    const QByteArray info = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<pkg-info format-version=\"2\" "
                                           "identifier=\"com.vrel.bench\" version=\"1.0\" install-location=\"%1\" "
                                           "auth=\"root\">\n</pkg-info>\n")
                                .arg(kTitles)
                                .toUtf8();
    const QByteArray load = payload();
    archive *a = archive_write_new();
    archive_write_set_format_xar(a);
    archive_write_set_option(a, "xar", "compression", "none");
    bool good = ok(a, archive_write_open_filename(a, QFile::encodeName(path).constData()), "open");
    for (const auto &[name, bytes] : {std::pair{QByteArray("PackageInfo"), info}, std::pair{QByteArray("Bom"), QByteArray("BOMStore")},
                                      std::pair{QByteArray("Payload"), load}}) {
        good = good && addEntry(a, name, AE_IFREG, bytes.size()) &&
               archive_write_data(a, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    good = good && addEntry(a, "Resources/media.bin", AE_IFREG, mediaBytes);
    std::vector<quint64> block(1 << 17); // 1 MiB
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 left = mediaBytes; good && left > 0;) {
        for (quint64 &word : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            word = x;
        }
        const size_t n = size_t(std::min<qint64>(left, qint64(block.size() * sizeof(quint64))));
        good = archive_write_data(a, block.data(), n) == la_ssize_t(n);
        left -= qint64(n);
    }
    good = good && ok(a, archive_write_close(a), "close");
    archive_write_free(a);
    return good ? 0 : 1;
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

        // The longest gap between beats, and the stage the run was in when it ended.
        QElapsedTimer beat;
        qint64 longestGapMs = 0;
        QString longestGapStage;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 gap = beat.restart();
            if (gap > longestGapMs) {
                longestGapMs = gap;
                longestGapStage = model.installMessage();
            }
        });
        beat.start();
        heartbeat.start(5);

        QElapsedTimer clock;
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
                     "install: %s, %.3f s, longest main-thread gap %lld ms (ending in \"%s\"), peak memory %lld KiB, "
                     "temporary folder %s, folder %s, receipt %s\n  %s\n",
                     installed ? "installed" : "FAILED", seconds, static_cast<long long>(longestGapMs - 5),
                     qPrintable(longestGapStage),
                     static_cast<long long>(peakKiB()),
                     left.isEmpty() ? "empty" : qPrintable(QStringLiteral("holds ") + left.join(QStringLiteral(", "))),
                     placed ? "installed" : "MISSING", model.hasInstallReceipt(QStringLiteral("bench-1g")) ? "written" : "MISSING",
                     qPrintable(model.installMessage()));
        std::printf("%.3f\t%lld\t%lld\t%d\n", seconds, static_cast<long long>(longestGapMs - 5),
                    static_cast<long long>(peakKiB()), left.isEmpty() ? 1 : 0);
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
