#pragma once
// Desktop implementations of the workspace, pasteboard and alerts.

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

namespace quillon {

class DesktopWorkspace final : public Workspace {
public:
    bool openURL(const QUrl &url) override;
    bool openFile(const QString &path) override;
    void revealInFileManager(const QStringList &paths) override;
    int runningApplicationCount(const QString &bundleIdentifier) override;
    void terminateApplications(const QString &bundleIdentifier) override;
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
