#include "update/UpdateCheck.h"

#include "platform/Http.h"
#include "platform/Logging.h"
#include "platform/Tasks.h"
#include "records/AppVersion.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace quillon {
namespace {

const QString kChecking = QStringLiteral("正在检查更新…");
const QString kFailed = QStringLiteral("暂时无法检查更新，请稍后重试。");

// Fetches the manifest; nullopt when the host cannot be reached or sends no JSON object.
QCoro::Task<std::optional<AppUpdateManifest>> fetchManifest(QNetworkAccessManager &network, QUrl url,
                                                            std::chrono::milliseconds timeout, std::stop_token token) {
    ReplyOwner reply(network.get(http::makeRequest(url, timeout)));
    auto finished = awaitReply(reply.get(), token);
    co_await finished;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (http::failedInTransport(*reply.get())) {
        qCInfo(lcUpdate) << "the update manifest could not be fetched:" << reply->errorString();
        co_return std::nullopt;
    }
    if (status < 200 || status > 299) {
        qCInfo(lcUpdate) << "the update manifest answered with status" << status;
        co_return std::nullopt;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
    if (!doc.isObject()) {
        qCInfo(lcUpdate) << "the update manifest is not a JSON object";
        co_return std::nullopt;
    }
    co_return AppUpdateManifest{doc.object()};
}

// The outcome of a fetched manifest: an update when it offers a newer version than this build.
void publishManifest(UpdateHost &model, const AppUpdateManifest &manifest, bool silent) {
    model.setLatestUpdateManifest(manifest);
    const std::optional<QString> offered = manifest.version();
    const QString current = AppVersion::current();
    const bool newer = offered && AppVersion::compare(*offered, current) == AppVersion::Order::descending;
    model.setAvailableUpdate(newer ? std::optional(manifest) : std::nullopt);
    if (newer) {
        // News even after a silent check: the user sees it without asking.
        model.setUpdateMessage(QStringLiteral("发现新版本 %1（当前 %2）。").arg(*offered, current));
    } else if (!silent) {
        model.setUpdateMessage(offered ? QStringLiteral("已是最新版本（%1）。").arg(current) : kFailed);
    }
}

QCoro::Task<> runUpdateCheck(ModelGuard<UpdateHost> model, bool silent) {
    // The check ends with the model, even while it waits.
    const std::stop_token token = model->lifetime();
    std::optional<AppUpdateManifest> manifest;
    try {
        // One turn of the event loop first: the first request loads the TLS stack (several
        // milliseconds), which the window's first appearance at start need not wait for.
        auto turn = sleepFor(std::chrono::milliseconds(0), token);
        co_await turn;
        if (!model) {
            co_return;
        }
        auto fetch = fetchManifest(model->network(), model->environment().updateManifestURL,
                                   model->environment().timing.serviceRequestTimeout, token);
        manifest = co_await fetch;
    } catch (const TaskCancelled &) {
        co_return; // the model and its network went away
    }
    if (!model) {
        co_return;
    }
    model->setIsCheckingForUpdate(false);
    if (manifest) {
        publishManifest(*model.get(), *manifest, silent);
    } else if (!silent) {
        model->setUpdateMessage(kFailed);
    }
}

} // namespace

void UpdateCheck::checkForManagerUpdate(bool silent) {
    if (m_host.isCheckingForUpdate() || m_host.isInstallingUpdate()) {
        return;
    }
    m_host.setIsCheckingForUpdate(true);
    if (!silent) {
        m_host.setUpdateMessage(kChecking);
    }
    runUpdateCheck(ModelGuard<UpdateHost>(&m_host, m_host.lifetimeObject()), silent);
}

} // namespace quillon
