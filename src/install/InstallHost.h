#pragma once
// What the installs need of the model that publishes their state: the progress card, the
// install and batch lines, the success and cloud-drive sheets, the queue's results and the
// selected entitlement; and the other parts they work with: the account they act for and
// the inventory they ask to rescan, to find a product's folders and to record where an
// install shows up. The model implements it; the install runs hold it weakly (ModelGuard)
// and check it after every co_await.

#include "core/AccountHost.h"
#include "records/InstallLocations.h"
#include "records/ModelEnvironment.h"
#include "records/NetdiskDelivery.h"
#include "records/PartnerCodes.h"
#include "records/ReplyRecords.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <stop_token>

class QObject;

namespace quillon {

class Account;
class Installs;
class Inventory;

/// The install queue's hand-back: takes the downloaded package (it now owns the file) and
/// the step that records the install once the package has installed.
using PreparePackage = std::function<void(const QString &packagePath, std::function<QString()> commit)>;

/// It reads the account's state (AccountState): the installs act for the selected entitlement.
class InstallHost : public AccountState {
public:
    virtual const QString &statusMessage() const = 0;
    virtual void setStatusMessage(const QString &value) = 0;
    virtual const QString &installMessage() const = 0;
    virtual void setInstallMessage(const QString &value) = 0;

    // The install queue's run.
    virtual const bool &activationInstallRunning() const = 0;
    virtual void setActivationInstallRunning(const bool &value) = 0;
    virtual const bool &activationInstallFinished() const = 0;
    virtual void setActivationInstallFinished(const bool &value) = 0;
    virtual const QString &activationInstallResults() const = 0;
    virtual void setActivationInstallResults(const QString &value) = 0;

    // Success and cloud-drive delivery.
    virtual const bool &showInstallSuccess() const = 0;
    virtual void setShowInstallSuccess(const bool &value) = 0;
    virtual const QString &deliverySuccessTitle() const = 0;
    virtual void setDeliverySuccessTitle(const QString &value) = 0;
    virtual const QString &lastInstalledProduct() const = 0;
    virtual void setLastInstalledProduct(const QString &value) = 0;
    virtual const QString &lastDeliveryMessage() const = 0;
    virtual void setLastDeliveryMessage(const QString &value) = 0;
    virtual const std::optional<NetdiskDelivery> &netdiskDelivery() const = 0;
    virtual void setNetdiskDelivery(const std::optional<NetdiskDelivery> &value) = 0;
    virtual const bool &showNetdiskDelivery() const = 0;
    virtual void setShowNetdiskDelivery(const bool &value) = 0;
    virtual const PartnerCodes &claimedPartnerActivationCodes() const = 0;
    virtual void setClaimedPartnerActivationCodes(const PartnerCodes &value) = 0;

    // Batch install.
    virtual const std::optional<QString> &installingProductKey() const = 0;
    virtual void setInstallingProductKey(const std::optional<QString> &value) = 0;
    virtual const int &batchInstallTotal() const = 0;
    virtual void setBatchInstallTotal(const int &value) = 0;
    virtual const int &batchInstallCompleted() const = 0;
    virtual void setBatchInstallCompleted(const int &value) = 0;
    virtual const double &batchInstallProgress() const = 0;
    virtual void setBatchInstallProgress(const double &value) = 0;
    virtual const QString &batchInstallStatus() const = 0;
    virtual void setBatchInstallStatus(const QString &value) = 0;
    /// The batch run's phase changed: the flags read off it are published.
    virtual void batchInstallChanged() = 0;

    // The single-install progress card.
    virtual const bool &showsSingleInstallProgress() const = 0;
    virtual void setShowsSingleInstallProgress(const bool &value) = 0;
    virtual const double &singleInstallProgress() const = 0;
    virtual void setSingleInstallProgress(const double &value) = 0;
    virtual const QString &singleInstallStage() const = 0;
    virtual void setSingleInstallStage(const QString &value) = 0;
    virtual const bool &singleInstallShowsPercent() const = 0;
    virtual void setSingleInstallShowsPercent(const bool &value) = 0;
    virtual const bool &singleInstallCompleted() const = 0;
    virtual void setSingleInstallCompleted(const bool &value) = 0;
    virtual const int &singleInstallProgressCycle() const = 0;
    virtual void setSingleInstallProgressCycle(const int &value) = 0;

    /// What the runs have collected of where their installs show up.
    virtual const InstallLocationSummary &locationSummary() const = 0;

    virtual Installs &installs() = 0;
    virtual Account &account() = 0;
    virtual Inventory &inventory() = 0;

protected:
    ~InstallHost() = default;
};

} // namespace quillon
