#pragma once
// Desktop implementations of the workspace, pasteboard and alerts.

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"
#include "platform/SystemPaths.h"
#include "platform/SystemTools.h"
#include "platform/Workspace.h"

namespace quillon {

/// The desktop's workspace. On macOS the system finds running applications by bundle
/// identifier. Away from macOS the applications of RunningApplications.h are played by our
/// stand-ins from `standInFolder`, which open those files and are what the running-application
/// checks see, together with the stand-in applications announced under the sandbox root
/// `systemRoot` (AnnouncedApplications.h); those are asked to quit with SIGTERM.
class DesktopWorkspace final : public Workspace {
public:
    explicit DesktopWorkspace(QString standInFolder = SystemTools::standInFolder(),
                              QString systemRoot = SystemPaths::current().systemRoot);

    bool openURL(const QUrl &url) override;
    bool openFile(const QString &path) override;
    void revealInFileManager(const QStringList &paths) override;
    int runningApplicationCount(const QString &bundleIdentifier) override;
    void terminateApplications(const QString &bundleIdentifier) override;

private:
    // Unused on macOS, where the real applications run.
    [[maybe_unused]] QString m_standInFolder;
    [[maybe_unused]] QString m_systemRoot;
};

class DesktopPasteboard final : public Pasteboard {
public:
    void setString(const QString &text) override;
    QString string() const override;
};

class DesktopAlerts final : public Alerts {
public:
    int runModal(const AlertRequest &request) override;
};

} // namespace quillon
