#pragma once
// The inventory without the model: a small host that keeps the inventory's state in plain
// fields, calls `changed` after each change as the model publishes it, and owns one
// Inventory. Its tasks end with this object, as they end with the model.

#include "inventory/Inventory.h"
#include "inventory/InventoryHost.h"

#include <QObject>

#include <functional>
#include <utility>

namespace quillon::test {

class FakeInventoryHost final : public QObject, public InventoryHost {
public:
    explicit FakeInventoryHost(ModelEnvironment environment)
        : m_environment(std::move(environment)), m_inventory(*this) {}
    ~FakeInventoryHost() override { m_lifetime.cancel(); }

    /// Called after every change of a value.
    std::function<void()> changed;

#define QUILLON_FAKE_STATE(Type, name, setter)                                                     \
    const Type &name() const override { return m_##name; }                                         \
    void setter(const Type &value) override {                                                      \
        if (m_##name == value) {                                                                   \
            return;                                                                                \
        }                                                                                          \
        m_##name = value;                                                                          \
        if (changed) {                                                                             \
            changed();                                                                             \
        }                                                                                          \
    }                                                                                              \
    Type m_##name{};

    QUILLON_FAKE_STATE(bool, isWorking, setIsWorking)
    QUILLON_FAKE_STATE(QString, installMessage, setInstallMessage)
    QUILLON_FAKE_STATE(QString, batchInstallStatus, setBatchInstallStatus)
    QUILLON_FAKE_STATE(QList<InstalledPlugin>, installedPlugins, setInstalledPlugins)
    QUILLON_FAKE_STATE(QList<InstalledPlugin>, allTemplatePlugins, setAllTemplatePlugins)
    QUILLON_FAKE_STATE(InstallLocationSummary, locationSummary, setLocationSummary)
    QUILLON_FAKE_STATE(bool, collectingLocations, setCollectingLocations)
    QUILLON_FAKE_STATE(bool, showLocationGuide, setShowLocationGuide)
    QUILLON_FAKE_STATE(bool, isRepairingMotionRuntime, setIsRepairingMotionRuntime)
    QUILLON_FAKE_STATE(QString, motionRepairMessage, setMotionRepairMessage)
#undef QUILLON_FAKE_STATE

    const QList<MemberProduct> &memberProducts() const override { return m_memberProducts; }
    QList<MemberProduct> m_memberProducts;

    const ModelEnvironment &environment() const override { return m_environment; }
    std::stop_token lifetime() const override { return m_lifetime.token(); }
    QObject *lifetimeObject() override { return this; }
    Inventory &inventory() override { return m_inventory; }

private:
    ModelEnvironment m_environment;
    TaskHandle m_lifetime;
    Inventory m_inventory;
};

} // namespace quillon::test
