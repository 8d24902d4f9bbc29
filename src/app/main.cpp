#include "app/ChineseTextFont.h"
#include "app/QuillonApp.h"
#include "records/AppVersion.h"

#include <QApplication>
#include <QFont>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#ifdef QUILLON_PRELOAD_FONTCONFIG
#include <fontconfig/fontconfig.h>

#include <optional>
#include <thread>
#endif

int main(int argc, char *argv[]) {
#ifdef QUILLON_PRELOAD_FONTCONFIG
    // Fontconfig reads its configuration (some fifty files) on first use, which the first
    // window's text would wait for: a thread does it while the display connection is made,
    // and finds the family the system sets Chinese text in.
    std::optional<QString> chineseFamily;
    std::thread fontconfig([&chineseFamily] {
        FcInit();
        chineseFamily = quillon::systemFamilyForChineseText();
    });
#endif
    // The embedded sign-in page's sandbox refuses to run as root. (No shared GL contexts
    // asked for here: Qt would make one at every start, which costs a software-rendered
    // display some 50 ms and 57 MiB before the first window; the web-engine module's loader
    // makes it first.)
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QApplication app(argc, argv);
#ifdef QUILLON_PRELOAD_FONTCONFIG
    fontconfig.join(); // before Qt looks for fonts, so that it finds the configuration loaded
    if (chineseFamily) {
        // The window's texts are Chinese: their family first, the general one after it for
        // whatever the first lacks.
        QFont font = QApplication::font();
        font.setFamilies({*chineseFamily, font.family()});
        QApplication::setFont(font);
    }
#endif
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
