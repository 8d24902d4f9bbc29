#include "records/AdministratorCommand.h"

#include "platform/Failure.h"
#include "platform/FailureTexts.h"
#include "platform/Logging.h"
#include "records/InstallError.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <memory>

namespace quillon {

PrivilegedTools PrivilegedTools::of(const ModelEnvironment &environment) {
    return PrivilegedTools{environment.tools.osascript, environment.tools.installer, environment.paths.systemRoot,
                           environment.paths.temporary};
}

QString shellQuoted(const QString &path) {
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString shellWord(const QString &path) {
    if (path.isEmpty()) {
        return shellQuoted(path);
    }
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        const bool literal = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                             u == u'/' || u == u'.' || u == u'_' || u == u'-' || u == u'+';
        if (!literal) {
            return shellQuoted(path);
        }
    }
    return path;
}

QString appleScriptSource(const QString &script) {
    QString escaped = script;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("do shell script \"") + escaped + QStringLiteral("\" with administrator privileges");
}

QString decodeCommandOutput(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

namespace {

/// A script written to a file only its owner can reach, in a folder that goes with it.
class ScriptFile final {
public:
    ScriptFile(const QString &script, const QString &temporary)
        : m_folder(QDir(temporary.isEmpty() ? QDir::tempPath() : temporary).filePath(QStringLiteral("Vrel-script-XXXXXX"))) {
        // QTemporaryDir makes its folder readable by its owner alone.
        QFile file(path());
        if (!m_folder.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            throw scriptNotWritten(file);
        }
        const QByteArray bytes = script.toUtf8();
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            throw scriptNotWritten(file);
        }
    }
    QString path() const { return m_folder.filePath(QStringLiteral("script.sh")); }

private:
    static PlatformError scriptNotWritten(const QFile &file) {
        const FailureKind kind = file.error() == QFileDevice::PermissionsError ? FailureKind::noWritePermission
                                 : file.error() == QFileDevice::ResourceError  ? FailureKind::diskFull
                                                                               : FailureKind::fileNotWritten;
        qCWarning(lcInstall) << "the administrator script could not be written:" << file.fileName() << file.errorString();
        return PlatformError(failureText(kind), file.errorString());
    }

    QTemporaryDir m_folder;
};

} // namespace

AdministratorRun runAdministratorScript(const QString &script, const PrivilegedTools &tools) {
    QString source = appleScriptSource(script);
    std::unique_ptr<ScriptFile> file;
    if (source.toUtf8().size() > maximumInlineScriptBytes) {
        file = std::make_unique<ScriptFile>(script, tools.temporary);
        source = appleScriptSource(QStringLiteral("/bin/sh ") + shellQuoted(file->path()));
    }
    QProcess process;
    process.setProgram(tools.osascript);
    process.setArguments({QStringLiteral("-e"), source});
    // One pipe for both streams, as the caller reads them as one text.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(toolProcessEnvironment(tools.systemRoot));
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        qCWarning(lcInstall) << "the administrator command could not be started:" << tools.osascript
                             << process.errorString();
        throw PlatformError(failureText(FailureKind::administratorUnavailable), process.errorString());
    }
    // QProcess drains the pipe while it waits, so a long output cannot stall the child.
    process.waitForFinished(-1);
    const QByteArray output = process.readAll();

    AdministratorRun run;
    run.output = decodeCommandOutput(output);
    if (process.exitStatus() == QProcess::CrashExit) {
        // Killed by a signal: never a success, whatever exitCode() says.
        run.exitStatus = -1;
    } else {
        run.exitStatus = process.exitCode();
    }
    return run;
}

InstallError administratorFailure(const AdministratorRun &run, const QString &output) {
    qCWarning(lcInstall).noquote() << "the administrator command failed with status" << run.exitStatus << "and printed:"
                                   << output;
    // AppleScript's "User canceled." carries the number -128 in every language; a command's
    // own exit status, which osascript reports in the same place, is never negative.
    if (output.trimmed().endsWith(QStringLiteral("(-128)"))) {
        return InstallError::administratorCancelled(output);
    }
    return InstallError::commandFailed(output);
}

void runAdministratorScriptChecked(const QString &script, const PrivilegedTools &tools) {
    const AdministratorRun run = runAdministratorScript(script, tools);
    if (run.exitStatus != 0) {
        throw administratorFailure(run, run.output.trimmed());
    }
}

} // namespace quillon
