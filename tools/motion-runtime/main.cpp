// Stand-in for a running Motion runtime application, for development and trial runs away
// from macOS, where nothing else knows an application by its bundle identifier.
//
//   quillon-motion-runtime APP
//
// plays the runtime application bundle APP: it reads the bundle's identifier from
// APP/Contents/Info.plist, announces itself as that application under QUILLON_SANDBOX_ROOT
// (platform/shared/AnnouncedApplications.h), prints "running IDENTIFIER" and waits. Asked
// to quit (SIGTERM, SIGINT or SIGHUP), it takes its announcement away, prints "asked to
// quit" and exits 0. Exit status 1: no sandbox root, no usable bundle, or no announcement.

#include "common/PropertyList.h"
#include "common/StandIn.h"
#include "platform/shared/AnnouncedApplications.h"

#include <QFile>
#include <QString>

#include <signal.h>

int main(int argc, char **argv) {
    // Blocked before anything else runs, so the request to quit is taken by sigwait below
    // whenever it comes.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&quitSignals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);

    if (argc != 2) {
        standin::writeLine(stderr, QStringLiteral("usage: quillon-motion-runtime APP"));
        return 1;
    }
    QString error;
    const std::optional<QString> root = standin::sandboxRoot(error);
    if (!root) {
        standin::writeLine(stderr, QStringLiteral("quillon-motion-runtime: ") + error);
        return 1;
    }
    const QString app = QFile::decodeName(argv[1]);
    const std::optional<standin::BundleInfo> bundle = standin::readBundle(app, error);
    if (!bundle) {
        standin::writeLine(stderr, QStringLiteral("quillon-motion-runtime: %1: %2").arg(app, error));
        return 1;
    }
    const QString announcement = quillon::announceRunningApplication(*root, bundle->identifier, error);
    if (announcement.isEmpty()) {
        standin::writeLine(stderr, QStringLiteral("quillon-motion-runtime: ") + error);
        return 1;
    }
    standin::writeLine(stdout, QStringLiteral("running ") + bundle->identifier);

    int received = 0;
    while (sigwait(&quitSignals, &received) != 0) {
    }
    QFile::remove(announcement);
    standin::writeLine(stdout, QStringLiteral("asked to quit"));
    return 0;
}
