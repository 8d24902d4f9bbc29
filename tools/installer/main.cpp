// Stand-in for macOS's /usr/sbin/installer, for development and trial runs away from macOS.
//
//   installer -pkg <package> -target /
//
// installs a flat component package (xar with PackageInfo and a gzip cpio Payload) into the
// folder named by QUILLON_SANDBOX_ROOT, which stands for "/". It never writes outside that
// folder, runs no package scripts, and refuses to run when the variable is not set.

#include "FlatPackage.h"
#include "PayloadInstall.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr const char *sandboxRootVariable = "QUILLON_SANDBOX_ROOT";

void say(FILE *stream, const QString &line) {
    const QByteArray bytes = QStringLiteral("installer: %1\n").arg(line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int fail(const QString &message) {
    say(stderr, QStringLiteral("Error - ") + message);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QString package;
    QString target;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QStringLiteral("-pkg") && package.isNull()) {
            package = arguments[i + 1];
        } else if (arguments[i] == QStringLiteral("-target") && target.isNull()) {
            target = arguments[i + 1];
        } else {
            package.clear();
            break;
        }
    }
    if (arguments.size() != 4 || package.isEmpty() || target.isNull()) {
        return fail(QStringLiteral("usage: installer -pkg <package> -target /"));
    }
    if (target != QStringLiteral("/")) {
        return fail(QStringLiteral("only the target / is supported, not %1").arg(target));
    }

    const QString sandbox = QString::fromLocal8Bit(qgetenv(sandboxRootVariable));
    if (sandbox.isEmpty() || !QDir::isAbsolutePath(sandbox)) {
        return fail(QStringLiteral("%1 must name the folder that stands for /; "
                                   "the stand-in never installs into the real system")
                        .arg(QLatin1String(sandboxRootVariable)));
    }
    const QString sandboxRoot = QFileInfo(sandbox).canonicalFilePath();
    if (sandboxRoot.isEmpty() || !QFileInfo(sandboxRoot).isDir()) {
        return fail(QStringLiteral("the sandbox root %1 is not a folder").arg(sandbox));
    }

    QString error;
    const std::optional<installer::FlatPackage> flat = installer::readFlatPackage(package, error);
    if (!flat) {
        return fail(error);
    }
    const QString name = flat->identifier.isEmpty() ? QFileInfo(package).completeBaseName() : flat->identifier;
    say(stdout, QStringLiteral("Package name is %1").arg(name));
    say(stdout, QStringLiteral("Installing at base path /"));
    if (!installer::installPayload(flat->payload->fileName(), flat->installLocation, sandboxRoot, error)) {
        return fail(QStringLiteral("the install failed: %1").arg(error));
    }
    say(stdout, QStringLiteral("The install was successful."));
    return 0;
}
