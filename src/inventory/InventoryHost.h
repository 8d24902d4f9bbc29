#pragma once
// What the inventory needs of the model that publishes its state: the installed plug-ins,
// the location summary and its guide, the repair's flag and message, and the install
// lines a collection run or an uninstall writes. The model implements it; the
// inventory's tasks hold it weakly (ModelGuard) and check it after every co_await.

#include "records/InstalledPlugin.h"
#include "records/InstallLocations.h"
#include "records/ModelPart.h"
#include "records/ReplyRecords.h"

#include <QList>
#include <QString>

class QObject;

namespace quillon {

class Inventory;

class InventoryHost : public ModelPart {
public:
    virtual const QString &installMessage() const = 0;
    virtual void setInstallMessage(const QString &value) = 0;
    virtual const QString &batchInstallStatus() const = 0;
    virtual void setBatchInstallStatus(const QString &value) = 0;

    virtual const QList<InstalledPlugin> &installedPlugins() const = 0;
    virtual void setInstalledPlugins(const QList<InstalledPlugin> &value) = 0;
    virtual const QList<InstalledPlugin> &allTemplatePlugins() const = 0;
    virtual void setAllTemplatePlugins(const QList<InstalledPlugin> &value) = 0;
    /// The member library on screen: its products name the folders the inventory shows.
    virtual const QList<MemberProduct> &memberProducts() const = 0;

    virtual const InstallLocationSummary &locationSummary() const = 0;
    virtual void setLocationSummary(const InstallLocationSummary &value) = 0;
    virtual const bool &collectingLocations() const = 0;
    virtual void setCollectingLocations(const bool &value) = 0;
    virtual const bool &showLocationGuide() const = 0;
    virtual void setShowLocationGuide(const bool &value) = 0;

    virtual const bool &isRepairingMotionRuntime() const = 0;
    virtual void setIsRepairingMotionRuntime(const bool &value) = 0;
    virtual const QString &motionRepairMessage() const = 0;
    virtual void setMotionRepairMessage(const QString &value) = 0;

    virtual Inventory &inventory() = 0;

protected:
    ~InventoryHost() = default;
};

} // namespace quillon
