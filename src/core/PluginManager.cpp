#include "core/PluginManager.h"

#include <QNetworkAccessManager>

namespace quillon {
namespace {

const QString kPreviewSingle = QStringLiteral("--preview-single");
const QString kPreviewFailure = QStringLiteral("--preview-failure");
const QString kPreviewProduct = QStringLiteral("Vrel 光影转场包");
const QString kPreviewFolder = QStringLiteral("Vrel 光影字幕");

// The sample state of the location guide preview, shaped by the launch arguments.
void showGuidePreview(PluginManager &model, const QStringList &arguments) {
    InstallLocationSummary summary = InstallLocationSummary::preview();
    if (arguments.contains(kPreviewSingle)) {
        summary = InstallLocationSummary();
        summary.record(kPreviewProduct, {InstallLocationEntry{FCPLocation::titles, kPreviewFolder}});
    }
    if (arguments.contains(kPreviewFailure)) {
        summary.failures = QStringList{kPreviewProduct + QStringLiteral("：安装未完成，请重试。")};
    }
    QList<InstalledPlugin> plugins;
    for (const InstallLocationEntry &entry : summary.entries) {
        plugins.append(InstalledPlugin{rawValue(entry.category), entry.folder, {}});
    }
    model.setLocationSummary(summary);
    model.setInstalledPlugins(plugins);
}

} // namespace

PluginManager::PluginManager(ModelEnvironment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)) {
    Q_ASSERT(m_environment.preferences);
    // Every request sets its own time-out, cache, cookie and redirect rules (platform/Http.h).
    m_network = m_environment.network ? m_environment.network : new QNetworkAccessManager(this);
}

void PluginManager::start() {
    if (m_started) {
        return;
    }
    m_started = true;

    // The location guide preview shows sample data and starts nothing.
    if (m_environment.isGuidePreview) {
        showGuidePreview(*this, m_environment.arguments);
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
    if (std::optional<TaskHandle> batch = m_batchInstallRun.task()) {
        batch->cancel();
    }
    for (auto &[path, task] : m_packageCleanupTasks) {
        task.cancel();
    }
}

} // namespace quillon
