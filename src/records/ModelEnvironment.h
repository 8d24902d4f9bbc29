#pragma once
// Everything the model talks to outside itself. The application passes the real
// desktop; tests pass a temporary world with fakes and a loopback service.

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"
#include "platform/SystemPaths.h"
#include "platform/SystemTools.h"
#include "platform/Timing.h"
#include "platform/Workspace.h"

#include <QStringList>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

namespace quillon {

struct ModelEnvironment final {
    std::shared_ptr<Preferences> preferences;
    SystemPaths paths;
    SystemTools tools;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<Alerts> alerts;
    /// The network stack for the account service; null means the model makes its own.
    QNetworkAccessManager *network = nullptr;
    QUrl apiBase;
    QUrl updateManifestURL;
    Timing timing;
    /// The process arguments (the location guide preview reads them).
    QStringList arguments;
    /// The location guide preview mode.
    bool isGuidePreview = false;
};

} // namespace quillon
