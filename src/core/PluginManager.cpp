#include "core/PluginManager.h"

#include <QNetworkAccessManager>

namespace quillon {

PluginManager::PluginManager(ModelEnvironment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)) {
    Q_ASSERT(m_environment.preferences);
    m_network = m_environment.network ? m_environment.network : new QNetworkAccessManager(this);
    // Every request sets its own time-out; replies are never cached.
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

    // The location guide preview shows sample data and starts nothing.
    if (m_environment.isGuidePreview) {
        return;
    }

    refreshInstalledPlugins();

    // The token kept from an earlier run; the restore task decides whether it still signs in.
    m_managerAccessToken = sessionStore().readManagerToken();
    loadClaimedPartnerActivationCodes();

    if (m_managerAccessToken) {
        restoreWechatAccount();
    }
    checkForManagerUpdate(true);
}

PluginManager::~PluginManager() {
    // Long-lived background work ends with the model, in this order.
    if (m_loginPollingTask) {
        m_loginPollingTask->cancel();
    }
    if (m_batchInstallTask) {
        m_batchInstallTask->cancel();
    }
    for (auto &[path, task] : m_packageCleanupTasks) {
        task.cancel();
    }
}

} // namespace quillon
