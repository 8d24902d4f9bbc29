#include "app/QuillonApp.h"
#include "update/AppVersion.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char *argv[]) {
    // The embedded sign-in page needs shared GL contexts, and its sandbox refuses to run as root.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vrel"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vrel.cn"));
    QCoreApplication::setApplicationVersion(quillon::AppVersion::current());

    // The model and every view belong to the main thread.
    if (QThread::currentThread() != app.thread()) {
        std::fputs("Quillon must start on the main thread.\n", stderr);
        return EXIT_FAILURE;
    }

    quillon::QuillonApp quillon;
    quillon.show();
    app.exec();
    return 0;
}
