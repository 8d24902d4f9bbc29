// Stand-in for macOS's /usr/bin/codesign, for development and trial runs away from macOS.
//
//   codesign --verify [--deep] [--strict] PATH
//
// checks the seal described in CodeSeal.h: every sealed file unchanged, nothing added or
// missing below Contents, nothing beside Contents in the bundle root. --deep also checks
// every bundle in Contents/PlugIns (recursively); --strict also refuses sealed links that
// lead out of the bundle. Like the real tool it prints nothing on success and, on failure,
// "PATH: <reason>" on standard error, followed by detail lines.
//
// Exit status: 0 valid; 1 verification failed; 2 unknown or missing arguments; 3 refused
// to run because QUILLON_SANDBOX_ROOT does not name a folder.

#include "common/CodeSeal.h"
#include "common/StandIn.h"

#include <QCoreApplication>
#include <QSet>

namespace {

constexpr int failedVerification = 1;
constexpr int usageError = 2;
constexpr int refusedToRun = 3;

int usage(const QString &why) {
    standin::writeLine(stderr, QStringLiteral("codesign (stand-in): ") + why);
    standin::writeLine(stderr, QStringLiteral("usage: codesign --verify [--deep] [--strict] PATH"));
    return usageError;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QSet<QString> flags;
    QString path;
    for (const QString &argument : app.arguments().mid(1)) {
        const bool known = argument == QStringLiteral("--verify") || argument == QStringLiteral("--deep") ||
                           argument == QStringLiteral("--strict");
        if (known && !flags.contains(argument)) {
            flags.insert(argument);
        } else if (!argument.startsWith(QLatin1Char('-')) && path.isEmpty() && !argument.isEmpty()) {
            path = argument;
        } else {
            return usage(QStringLiteral("unknown or repeated argument: ") + argument);
        }
    }
    if (!flags.contains(QStringLiteral("--verify"))) {
        return usage(QStringLiteral("only --verify is supported"));
    }
    if (path.isEmpty()) {
        return usage(QStringLiteral("no path to verify"));
    }
    QString error;
    if (!standin::sandboxRoot(error)) {
        standin::writeLine(stderr, QStringLiteral("codesign (stand-in): ") + error);
        return refusedToRun;
    }

    const standin::SealVerdict verdict = standin::verifySeal(
        path, {flags.contains(QStringLiteral("--deep")), flags.contains(QStringLiteral("--strict"))});
    if (verdict.isValid()) {
        return 0;
    }
    standin::writeLine(stderr, path + QStringLiteral(": ") + verdict.message());
    if (!verdict.subcomponent.isEmpty()) {
        standin::writeLine(stderr, QStringLiteral("In subcomponent: ") + verdict.subcomponent);
    }
    for (const QString &line : verdict.details) {
        standin::writeLine(stderr, line);
    }
    return failedVerification;
}
