// Stand-in for Launch Services' lsregister, for development and trial runs away from macOS.
//
//   lsregister -f APP
//
// registers the application bundle APP: it must be a folder ending in ".app" whose
// Contents/Info.plist names an identifier and an executable that exists. The registration
// is recorded in the "launchservices" registry under QUILLON_SANDBOX_ROOT (see Registry.h).
// Exit statuses: see RegistrationTool.h.

#include "common/RegistrationTool.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    standin::RegistrationTool tool;
    tool.name = QStringLiteral("lsregister");
    tool.option = QStringLiteral("-f");
    tool.registry = QStringLiteral("launchservices");
    tool.problem = [](const QString &path, const standin::BundleInfo &) {
        return path.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive) ? QString()
                                                                            : QStringLiteral("not an application bundle");
    };
    return standin::runRegistrationTool(tool, app.arguments().mid(1));
}
