// The stand-in studio service: the studio's account service, download host and update
// host on 127.0.0.1, for trial runs and end-to-end tests away from the studio.
//
//   quillon-studio-service [--port N] [--catalogue FILE] [--cache FOLDER] [--tokens FILE] [--url-file FILE]
//                          [--throttle-bytes-per-second N]
//
// It serves what the catalogue (a JSON file) describes, building its packages into the
// cache folder on the first start. Once it accepts connections it prints its base URL,
// "http://127.0.0.1:<port>/", as one line on stdout (and into the --url-file), then runs
// until SIGINT or SIGTERM, or until the process that started it ends. Port 0, the
// default, takes a free port. Signed-in sessions are kept in the --tokens file, if given.
// --throttle-bytes-per-second paces every package response (for tests that must act while
// a download runs).

#include "AccountEndpoints.h"
#include "Catalogue.h"
#include "PackageFiles.h"
#include "SignIn.h"

#include <QDir>
#include <QSaveFile>
#include <QMap>
#include <QStandardPaths>

#include <httplib.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <pthread.h>
#include <stdexcept>
#include <thread>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

int fail(const std::string &message) {
    std::fprintf(stderr, "quillon-studio-service: %s\n", message.c_str());
    return 1;
}

QMap<QString, QString> readOptions(int argc, char **argv) {
    static const QStringList known{QStringLiteral("--port"), QStringLiteral("--catalogue"), QStringLiteral("--cache"),
                                   QStringLiteral("--tokens"), QStringLiteral("--url-file"),
                                   QStringLiteral("--throttle-bytes-per-second")};
    QMap<QString, QString> options{
        {QStringLiteral("--port"), QStringLiteral("0")},
        {QStringLiteral("--catalogue"), QStringLiteral(STUDIO_SERVICE_CATALOGUE)},
        {QStringLiteral("--cache"), QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                                        .filePath(QStringLiteral("quillon-studio-service"))},
    };
    for (int i = 1; i < argc; i += 2) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        if (!known.contains(name) || i + 1 >= argc) {
            throw std::invalid_argument("usage: quillon-studio-service [--port N] [--catalogue FILE] "
                                        "[--cache FOLDER] [--tokens FILE] [--url-file FILE] "
                                        "[--throttle-bytes-per-second N]");
        }
        options[name] = QString::fromLocal8Bit(argv[i + 1]);
    }
    return options;
}

} // namespace

int main(int argc, char **argv) {
    // Stop signals are taken by the main thread alone, once the service runs; every thread
    // started from here on inherits the mask.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#ifdef __linux__
    // A test that crashes, or a run script that is killed, leaves no service behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif

    try {
        const QMap<QString, QString> options = readOptions(argc, argv);
        bool portOk = false;
        const int port = options[QStringLiteral("--port")].toInt(&portOk);
        if (!portOk || port < 0 || port > 65535) {
            throw std::invalid_argument("--port takes a number from 0 to 65535");
        }
        const studio::Catalogue catalogue = studio::Catalogue::load(options[QStringLiteral("--catalogue")]);
        studio::PackageFiles files(catalogue, options[QStringLiteral("--cache")]);
        if (const QString throttle = options.value(QStringLiteral("--throttle-bytes-per-second")); !throttle.isEmpty()) {
            bool rateOk = false;
            const qulonglong rate = throttle.toULongLong(&rateOk);
            if (!rateOk || rate == 0) {
                throw std::invalid_argument("--throttle-bytes-per-second takes a number of bytes above 0");
            }
            files.setBytesPerSecond(rate);
        }

        httplib::Server server;
        // The application downloads over eight connections and keeps others alive: every
        // connection holds a worker while it is open.
        server.new_task_queue = [] { return new httplib::ThreadPool(32); };
        const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                    : (server.bind_to_port("127.0.0.1", port) ? port : -1);
        if (bound <= 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
        }
        const std::string base = "http://127.0.0.1:" + std::to_string(bound) + "/";
        studio::SignIn signIn(catalogue.user, catalogue.loginExpiresIn, base, options.value(QStringLiteral("--tokens")));
        studio::AccountEndpoints endpoints(catalogue, signIn, base);
        signIn.route(server);
        endpoints.route(server);
        files.route(server);

        std::atomic<bool> ended = false;
        std::thread listener([&] {
            server.listen_after_bind();
            ended = true;
        });
        while (!server.is_running()) {
            if (ended) {
                listener.join();
                throw std::runtime_error("cannot serve on " + base);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (const QString urlFile = options.value(QStringLiteral("--url-file")); !urlFile.isEmpty()) {
            QSaveFile file(urlFile); // a script waiting for it never reads half an address
            if (!file.open(QIODevice::WriteOnly) || file.write(base.c_str()) < 0 || !file.commit()) {
                server.stop();
                listener.join();
                throw std::runtime_error("cannot write " + urlFile.toStdString());
            }
        }
        std::printf("%s\n", base.c_str());
        std::fflush(stdout);

        int received = 0;
        sigwait(&stops, &received);
        // Nothing is left to write. Ending here closes kept-alive connections at once, where
        // stopping the server would wait for each of them to time out.
        std::_Exit(0);
    } catch (const std::exception &error) {
        return fail(error.what());
    }
}
