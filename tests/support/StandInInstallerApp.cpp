#include "support/StandInInstallerApp.h"

#include "platform/RunningApplications.h"
#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>

namespace quillon::test {

namespace {
const QString installerBundleIdentifier = QStringLiteral("com.apple.installer");
} // namespace

StandInInstallerApp::StandInInstallerApp(FakeWorkspace &workspace, const QString &systemRoot)
    : m_workspace(workspace), m_environment(QProcessEnvironment::systemEnvironment()) {
    m_environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), systemRoot);
    // Its window is nobody's to see, on a desktop session too.
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_workspace.openFileScript = [this](const QString &path) {
        return applicationOpening(path) ? open(path) : m_workspace.openFileSucceeds;
    };
    m_workspace.runningCountScript = [this](const QString &bundleIdentifier, int) {
        return bundleIdentifier == installerBundleIdentifier ? running() : m_workspace.running.value(bundleIdentifier, 0);
    };
}

StandInInstallerApp::~StandInInstallerApp() {
    m_workspace.openFileScript = nullptr;
    m_workspace.runningCountScript = nullptr;
    for (const auto &child : m_children) {
        QProcess &process = *child->process;
        process.disconnect();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
        }
    }
}

bool StandInInstallerApp::open(const QString &package) {
    auto child = std::make_unique<Child>();
    child->process = std::make_unique<QProcess>();
    child->package = package;
    QProcess &process = *child->process;
    process.setProcessEnvironment(m_environment);
    QObject::connect(&process, &QProcess::finished, [held = child.get()] {
        held->outcome = QString::fromUtf8(held->process->readAllStandardOutput()).trimmed();
        held->packageThereAtQuit = QFileInfo::exists(held->package);
    });
    process.start(QDir(QStringLiteral(QUILLON_TOOLS_DIR)).filePath(QStringLiteral("quillon-installer-app")),
                  {QStringLiteral("--install-and-quit"), package});
    m_children.push_back(std::move(child));
    return true;
}

int StandInInstallerApp::running() const {
    int count = 0;
    for (const auto &child : m_children) {
        count += child->process->state() != QProcess::NotRunning;
    }
    return count;
}

QStringList StandInInstallerApp::outcomes() const {
    QStringList lines;
    for (const auto &child : m_children) {
        lines.append(child->outcome);
    }
    return lines;
}

QStringList StandInInstallerApp::packagesGoneBeforeQuitting() const {
    QStringList gone;
    for (const auto &child : m_children) {
        if (child->process->state() == QProcess::NotRunning && !child->packageThereAtQuit) {
            gone.append(child->package);
        }
    }
    return gone;
}

} // namespace quillon::test
