// Stand-in for macOS's osascript, for development and trial runs away from macOS.
//
// It accepts exactly `osascript -e 'do shell script "…" with administrator privileges'`,
// runs the script with /bin/sh as the current user (there is no password prompt) and
// prints what AppleScript would return. With QUILLON_OSASCRIPT_CANCEL=1 it behaves as if
// the user cancelled the password prompt.
//
// For tests that script a run of several prompts:
// - QUILLON_OSASCRIPT_ANSWERS names a file of answers, one per line, "run" or "cancel";
//   each call takes the first line off the file; once the file is empty every call runs.
// - QUILLON_OSASCRIPT_LOG names a file to which each call appends one line, the JSON
//   object {"script": the shell script it received}.

#include "AppleScriptCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>
#include <optional>

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

enum class Answer { run, cancel };

/// The answer to this call's password prompt; nothing, with `error` set, when the answers
/// file cannot be used.
std::optional<Answer> nextAnswer(QString &error) {
    if (qgetenv("QUILLON_OSASCRIPT_CANCEL") == "1") {
        return Answer::cancel;
    }
    const QString path = QString::fromLocal8Bit(qgetenv("QUILLON_OSASCRIPT_ANSWERS"));
    if (path.isEmpty()) {
        return Answer::run;
    }
    QLockFile lock(path + QStringLiteral(".lock"));
    QFile file(path);
    if (!lock.lock() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the answers file ") + path;
        return std::nullopt;
    }
    QByteArrayList lines = file.readAll().split('\n');
    file.close();
    while (!lines.isEmpty() && lines.first().trimmed().isEmpty()) {
        lines.removeFirst();
    }
    if (lines.isEmpty()) {
        return Answer::run;
    }
    const QByteArray word = lines.takeFirst().trimmed();
    if (word != "run" && word != "cancel") {
        error = QStringLiteral("unknown answer \"%1\" in %2 (expected run or cancel)").arg(QString::fromUtf8(word), path);
        return std::nullopt;
    }
    QSaveFile rest(path);
    const QByteArray remaining = lines.join('\n');
    if (!rest.open(QIODevice::WriteOnly) || rest.write(remaining) != remaining.size() || !rest.commit()) {
        error = QStringLiteral("cannot write the answers file ") + path;
        return std::nullopt;
    }
    return word == "run" ? Answer::run : Answer::cancel;
}

void logCall(const QString &script) {
    const QString path = QString::fromLocal8Bit(qgetenv("QUILLON_OSASCRIPT_LOG"));
    if (path.isEmpty()) {
        return;
    }
    QFile log(path);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        log.write(QJsonDocument(QJsonObject{{QStringLiteral("script"), script}}).toJson(QJsonDocument::Compact) + '\n');
    }
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

    const std::optional<Answer> answer = nextAnswer(error);
    if (!answer) {
        return refuse(error);
    }
    logCall(command->script);
    if (*answer == Answer::cancel) {
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
