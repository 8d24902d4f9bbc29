#pragma once
// Commands that run with administrator rights: one shell script, wrapped in an
// AppleScript `do shell script … with administrator privileges` command and run by
// osascript, so the platform asks for the password once per command.
//
// Paths reach the shell only through `shellQuoted`; the whole script reaches
// AppleScript only through `appleScriptSource`.

#include "records/InstallError.h"
#include "records/ModelEnvironment.h"

#include <QString>

namespace quillon {

/// Where privileged commands run: the AppleScript runner, the installer tool, the
/// folder that stands for "/" (handed to the stand-in tools; "/" on macOS), and the
/// temporary folder that holds a script too long to pass as an argument.
struct PrivilegedTools final {
    QString osascript;
    QString installer;
    QString systemRoot;
    QString temporary;

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

/// The longest script passed to osascript inside its argument. A longer one goes to a
/// file in a private folder that the administrator command runs with /bin/sh: one
/// argument may hold at most 128 KiB on Linux (MAX_ARG_STRLEN), all arguments and the
/// environment together 1 MiB on macOS (ARG_MAX), and `do shell script` hands the
/// script to the shell as one argument again.
inline constexpr qsizetype maximumInlineScriptBytes = 64 * 1024;

/// What one privileged run gave back.
struct AdministratorRun final {
    int exitStatus = 0;
    /// Standard output and standard error as one text (see decodeCommandOutput).
    QString output;
};

/// Runs `script` through osascript with administrator privileges and waits for it to end,
/// blocking the calling thread. Throws PlatformError when osascript cannot be started or
/// a long script cannot be written to its file (the system's wording goes to the log).
AdministratorRun runAdministratorScript(const QString &script, const PrivilegedTools &tools);

/// The failure of a run that did not exit 0: InstallError::administratorCancelled when the
/// password prompt was cancelled (AppleScript's error -128), else installerFailed without
/// a detail. `output` (the tools' own words) is logged and kept in the error's output().
InstallError administratorFailure(const AdministratorRun &run, const QString &output);

/// Runs `script` and throws administratorFailure, with the output trimmed of white space,
/// unless it exits 0.
void runAdministratorScriptChecked(const QString &script, const PrivilegedTools &tools);

} // namespace quillon
