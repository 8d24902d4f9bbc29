#pragma once
// The Installer app behind a FakeWorkspace, played by the real stand-in (tools/installer-app):
// every package the program opens starts it on that package as a child process, which
// installs it under the world's system root, prints its outcome and quits. While one runs,
// the Installer counts as running, as the program's clean-up of handed-off packages asks.

#include "support/Fakes.h"

#include <QProcess>
#include <QStringList>

#include <memory>
#include <vector>

namespace quillon::test {

class StandInInstallerApp final {
public:
    /// Takes over the opening of packages and the Installer's running count of `workspace`
    /// (other files still open as the workspace answers).
    StandInInstallerApp(FakeWorkspace &workspace, const QString &systemRoot);
    /// Ends every one still running and gives the workspace back.
    ~StandInInstallerApp();
    StandInInstallerApp(const StandInInstallerApp &) = delete;
    StandInInstallerApp &operator=(const StandInInstallerApp &) = delete;

    /// How many were started, and how many of them run now.
    int started() const { return int(m_children.size()); }
    int running() const;
    /// The outcome line each printed, in the order they were started; empty while it runs.
    QStringList outcomes() const;
    /// The packages that were gone by the time their Installer quit (the Installer may read
    /// its package for as long as it runs).
    QStringList packagesGoneBeforeQuitting() const;

private:
    bool open(const QString &package);

    FakeWorkspace &m_workspace;
    QProcessEnvironment m_environment;
    struct Child {
        std::unique_ptr<QProcess> process;
        QString package;
        QString outcome;
        bool packageThereAtQuit = false;
    };
    std::vector<std::unique_ptr<Child>> m_children;
};

} // namespace quillon::test
