// Downloads one URL with the download engine, as the application does, and reports the
// wall time and how long the main thread was ever kept from its event loop.
//
//   quillon_download_bench <url> <destination>
//
// Exit status 0 on a 2xx response, 1 on failure, 2 on wrong usage.

#include "install/DownloadFailure.h"
#include "install/ProgressDownload.h"
#include "records/InstallError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QCoro/QCoroTask>

#include <cstdio>

namespace {

struct Result {
    int status = 0;
    QString failure;
};

QCoro::Task<Result> fetch(quillon::VrelProgressDownload *engine, QUrl url) {
    Result result;
    try {
        const quillon::HttpResponse response = co_await engine->download(url);
        result.status = response.statusCode;
    } catch (const quillon::InstallError &e) {
        result.failure = e.description();
    } catch (const quillon::DownloadFailure &e) {
        result.failure = e.description();
    } catch (const std::exception &e) {
        result.failure = QString::fromUtf8(e.what());
    }
    co_return result;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: quillon_download_bench <url> <destination>\n");
        return 2;
    }

    double lastProgress = 0;
    int progressCalls = 0;
    quillon::VrelProgressDownload engine(args[2], [&](double fraction) {
        lastProgress = fraction;
        ++progressCalls;
    });

    // A 5 ms heartbeat: the longest gap between beats is the longest the main thread
    // was busy elsewhere.
    QElapsedTimer beat;
    qint64 longestGapMs = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, beat.restart());
    });
    beat.start();
    heartbeat.start(5);

    QElapsedTimer clock;
    clock.start();
    Result result;
    bool done = false;
    auto task = [](quillon::VrelProgressDownload *e, QUrl u, Result *out, bool *flag) -> QCoro::Task<> {
        *out = co_await fetch(e, u);
        *flag = true;
        QCoreApplication::quit();
    }(&engine, QUrl(args[1]), &result, &done);
    if (!done) {
        app.exec();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    QCoreApplication::processEvents(); // the last progress report

    std::fprintf(stderr, "engine: status %d, %.3f s, progress %.3f after %d reports, longest main-thread gap %lld ms\n",
                 result.status, seconds, lastProgress, progressCalls, static_cast<long long>(longestGapMs - 5));
    if (!result.failure.isEmpty()) {
        std::fprintf(stderr, "engine: failed: %s\n", qPrintable(result.failure));
        return 1;
    }
    return result.status >= 200 && result.status <= 299 ? 0 : 1;
}
