#pragma once
// What the update check needs of the model that publishes its outcome. The model
// implements it; the check's task holds it weakly (ModelGuard) and checks it after every
// co_await.

#include "records/ModelPart.h"
#include "update/AppUpdateManifest.h"

#include <QString>

#include <optional>
#include <stop_token>

class QNetworkAccessManager;
class QObject;

namespace quillon {

class UpdateHost : public ModelPart {
public:
    virtual const std::optional<AppUpdateManifest> &availableUpdate() const = 0;
    virtual void setAvailableUpdate(const std::optional<AppUpdateManifest> &value) = 0;
    virtual const std::optional<AppUpdateManifest> &latestUpdateManifest() const = 0;
    virtual void setLatestUpdateManifest(const std::optional<AppUpdateManifest> &value) = 0;
    virtual const bool &isCheckingForUpdate() const = 0;
    virtual void setIsCheckingForUpdate(const bool &value) = 0;
    virtual const bool &isInstallingUpdate() const = 0;
    virtual void setIsInstallingUpdate(const bool &value) = 0;
    virtual const QString &updateMessage() const = 0;
    virtual void setUpdateMessage(const QString &value) = 0;

    virtual QNetworkAccessManager &network() const = 0;

protected:
    ~UpdateHost() = default;
};

} // namespace quillon
