#pragma once
// Desktop implementations of the workspace, pasteboard and alerts.

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"
#include "platform/SystemTools.h"
#include "platform/Workspace.h"

namespace quillon {

/// The desktop's workspace. Away from macOS the applications of RunningApplications.h are
/// played by our stand-ins from `standInFolder`: they open those files and are what the
/// running-application checks see.
class DesktopWorkspace final : public Workspace {
public:
    explicit DesktopWorkspace(QString standInFolder = SystemTools::standInFolder());

    bool openURL(const QUrl &url) override;
    bool openFile(const QString &path) override;
    void revealInFileManager(const QStringList &paths) override;
    int runningApplicationCount(const QString &bundleIdentifier) override;
    void terminateApplications(const QString &bundleIdentifier) override;

private:
    /// The stand-in executable playing `bundleIdentifier`; empty when none does.
    QString standInOf(const QString &bundleIdentifier) const;

    [[maybe_unused]] QString m_standInFolder; // unused on macOS, where the real applications run
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
