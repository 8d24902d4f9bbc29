// Stand-in for macOS's osascript, for development and trial runs away from macOS.
//
// It accepts exactly `osascript -e 'do shell script "…" with administrator privileges'`,
// runs the script with /bin/sh as the current user (there is no password prompt) and
// prints what AppleScript would return. With QUILLON_OSASCRIPT_CANCEL=1 it behaves as if
// the user cancelled the password prompt.

#include "AppleScriptCommand.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

namespace {

constexpr int failureExit = 1;

void writeTo(FILE *stream, const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

/// An AppleScript execution error as osascript reports it: source range, message, number.
int executionError(const QString &source, const QByteArray &message, int number) {
    writeTo(stderr, "0:" + QByteArray::number(source.size()) + ": execution error: " + message + " (" +
                        QByteArray::number(number) + ")\n");
    return failureExit;
}

int refuse(const QString &why) {
    writeTo(stderr, "osascript (stand-in): " + why.toUtf8() + "\n");
    return failureExit;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 2 || arguments[0] != QStringLiteral("-e")) {
        return refuse(QStringLiteral("expected exactly the arguments -e and one AppleScript command"));
    }
    const QString &source = arguments[1];
    QString error;
    const auto command = osascript::parseCommand(source, error);
    if (!command) {
        return refuse(error);
    }

    if (qgetenv("QUILLON_OSASCRIPT_CANCEL") == "1") {
        return executionError(source, "User canceled.", -128);
    }

    QProcess shell;
    shell.setProgram(QStringLiteral("/bin/sh"));
    shell.setArguments({QStringLiteral("-c"), command->script});
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.start();
    if (!shell.waitForStarted(-1)) {
        return refuse(QStringLiteral("cannot start /bin/sh: ") + shell.errorString());
    }
    shell.waitForFinished(-1);
    const QByteArray out = shell.readAllStandardOutput();
    const QByteArray err = shell.readAllStandardError();
    const int status = shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : 255; // killed by a signal

    if (status != 0) {
        QByteArray message = osascript::appleScriptText(err.isEmpty() ? out : err);
        if (message.isEmpty()) {
            message = "The command exited with a non-zero status.";
        }
        return executionError(source, message, status);
    }
    writeTo(stdout, osascript::appleScriptText(out));
    return 0;
}
