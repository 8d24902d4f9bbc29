// The three privileged runners of the model. Each call is one osascript run, so the
// user is asked for the administrator password once per call.

#include "install/BatchInstallResult.h"
#include "install/Installs.h"
#include "records/AdministratorCommand.h"
#include "records/InstallError.h"

namespace quillon {

PrivilegedTools Installs::privilegedTools() const { return PrivilegedTools::of(m_host.environment()); }

void Installs::installInBackground(const QStringList &packagePaths, const PrivilegedTools &tools) {
    if (packagePaths.isEmpty()) {
        return;
    }
    QStringList commands;
    commands.reserve(packagePaths.size());
    for (const QString &path : packagePaths) {
        commands.append(shellWord(tools.installer) + QStringLiteral(" -pkg ") + shellQuoted(path) +
                        QStringLiteral(" -target /"));
    }
    // "&&" stops at the first package that fails and keeps its status.
    runAdministratorScriptChecked(commands.join(QStringLiteral(" && ")), tools);
}

QSet<int> Installs::installBatchWithResults(const QStringList &packagePaths, const PrivilegedTools &tools) {
    const AdministratorRun run = runAdministratorScript(BatchInstallResult::command(packagePaths, tools.installer), tools);
    if (run.exitStatus != 0) {
        // The script itself did not run (the prompt was cancelled, for one): nothing installed.
        throw administratorFailure(run, run.output);
    }
    return BatchInstallResult::successes(run.output, int(packagePaths.size()));
}

void Installs::runAdministratorCommand(const QString &command) {
    runAdministratorScriptChecked(command, privilegedTools());
}

} // namespace quillon
