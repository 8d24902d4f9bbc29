#include "core/PluginManager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <vector>

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
    m_ownsNetwork = !m_environment.network;
    m_network = m_ownsNetwork ? new QNetworkAccessManager(this) : m_environment.network;
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
    removeLeftoversOfEarlierRuns();

    // The token kept from an earlier run; the restore task decides whether it still signs in.
    m_managerAccessToken = sessionStore().readManagerToken();
    loadClaimedPartnerActivationCodes();

    if (m_managerAccessToken) {
        restoreWechatAccount(lifetime());
    }
    checkForManagerUpdate(true);
}

PluginManager::~PluginManager() {
    // Long-lived background work ends with the model, in this order, and so does every other
    // task the model started. They are cancelled once every weak hold on the model has become
    // null (QObject::destroyed), so the tasks woken at once see it gone and touch nothing of
    // it: they unwind there and then, and the files of a run go with them, whether or not
    // the event loop ever turns again.
    std::vector<TaskHandle> ending;
    if (m_loginPollingTask) {
        ending.push_back(*m_loginPollingTask);
    }
    if (std::optional<TaskHandle> batch = m_batchInstallRun.task()) {
        ending.push_back(*batch);
    }
    for (auto &[path, task] : m_packageCleanupTasks) {
        ending.push_back(task);
    }
    ending.push_back(m_lifetime);
    const QPointer<QNetworkAccessManager> network = m_ownsNetwork ? m_network : nullptr;
    connect(this, &QObject::destroyed, [ending, network] {
        {
            const EndingTasksAtOnce now;
            for (TaskHandle handle : ending) {
                handle.cancel();
            }
        }
        // A request made without a cancellable token ends with its reply; the tasks it wakes
        // (from inside the reply's `finished`) find the model gone. The manager and its
        // replies go with the model's children right after.
        if (network) {
            for (QNetworkReply *reply : network->findChildren<QNetworkReply *>()) {
                if (reply->isRunning()) {
                    reply->abort();
                }
            }
        }
    });
}

} // namespace quillon
