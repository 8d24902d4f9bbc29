#pragma once
// Commands that run with administrator rights: one shell script, wrapped in an
// AppleScript `do shell script … with administrator privileges` command and run by
// osascript, so the platform asks for the password once per command.
//
// Paths reach the shell only through `shellQuoted`; the whole script reaches
// AppleScript only through `appleScriptSource`.

#include "core/ModelEnvironment.h"

#include <QString>

namespace quillon {

/// Where privileged commands run: the AppleScript runner, the installer tool, and the
/// folder that stands for "/" (handed to the stand-in tools; "/" on macOS).
struct PrivilegedTools final {
    QString osascript;
    QString installer;
    QString systemRoot;

    static PrivilegedTools of(const ModelEnvironment &environment);
};

/// `path` in single quotes for the shell; a single quote inside becomes '\''.
QString shellQuoted(const QString &path);

/// `path` as one shell word: unchanged when it holds only characters the shell takes
/// literally (so "/usr/sbin/installer" stays as it is), quoted otherwise.
QString shellWord(const QString &path);

/// The AppleScript source that runs `script` as root: backslashes doubled first, then
/// double quotes escaped, inside `do shell script "…" with administrator privileges`.
QString appleScriptSource(const QString &script);

/// The bytes of a child's output as text: UTF-8, or the empty text when they are not valid UTF-8.
QString decodeCommandOutput(const QByteArray &bytes);

/// What one privileged run gave back.
struct AdministratorRun final {
    int exitStatus = 0;
    /// Standard output and standard error as one text (see decodeCommandOutput).
    QString output;
};

/// Runs `script` through osascript with administrator privileges and waits for it to end,
/// blocking the calling thread. Throws PlatformError when osascript cannot be started.
AdministratorRun runAdministratorScript(const QString &script, const PrivilegedTools &tools);

/// Runs `script` and throws InstallError::installerFailed with the output trimmed of
/// white space unless it exits 0.
void runAdministratorScriptChecked(const QString &script, const PrivilegedTools &tools);

} // namespace quillon
