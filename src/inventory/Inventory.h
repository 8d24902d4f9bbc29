#pragma once
// What is installed: the template scan and the plug-ins it shows, whether a member product
// is installed or has an update, where installs show up in Final Cut Pro (the location
// summary and its guide), the install records, uninstall and the Motion runtime repair.
// Its state is published by the model (InventoryHost); the model owns one Inventory and
// hands its operations here, and the installs ask it what they need.

#include "inventory/InstallRecords.h"
#include "inventory/InventoryHost.h"
#include "platform/Tasks.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillon {

class TemplateNameIndex;
class TemplateScanner;

class Inventory final {
    Q_DISABLE_COPY_MOVE(Inventory)
public:
    explicit Inventory(InventoryHost &host);
    ~Inventory();

    // ---- The template scan ----

    /// Scans both template trees into `allTemplatePlugins` and `installedPlugins`.
    void refreshInstalledPlugins();
    /// Every template folder path of the last scan.
    QSet<QString> scannedPaths() const;
    /// The paths of every scanned folder that matches the product name, in list order.
    QStringList installedPluginPaths(const QString &productName) const;
    /// A receipt, a recorded folder that still exists, or a scanned folder that matches.
    bool isProductInstalled(const MemberProduct &product) const;
    /// Installed, and the offered package version is newer than the stored one (or none is stored).
    bool isProductUpdateAvailable(const MemberProduct &product) const;

    /// The last scan's folders (`allTemplatePlugins`).
    const QList<InstalledPlugin> &allTemplatePlugins() const { return m_host.allTemplatePlugins(); }
    /// The install records in the user's preferences.
    InstallRecords records() const { return InstallRecords(*m_host.environment().preferences); }

    // ---- Where installs show up ----

    /// Opens a collection run: an empty summary, the guide closed until the run finishes.
    void beginLocationCollection(bool isBatch);
    /// Records where a just-installed product shows up; outside a run the guide opens at once.
    void recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                               const QSet<QString> &previousPaths);
    /// The same for several products at once, from the last scan.
    void recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                            const QSet<QString> &previousPaths);
    /// A product handed to the Installer app: its install is pending. Outside a collection
    /// run the summary holds it alone and the guide opens at once.
    void addPendingInstall(const QString &name);
    /// A line of the summary's failures (a product that did not install, a run that ended).
    void addInstallFailure(const QString &line);
    /// For a batch in which nothing failed: the summary's entries plus one per folder of a
    /// known category that is not among `before`, sorted by their id.
    void addEntriesOfNewFolders(const QSet<QString> &before);
    /// Closes the run, adds the restart hint and opens the guide when anything was collected.
    void finishLocationCollection();
    /// Shows where one plug-in (or, without one, every installed plug-in) is found.
    void viewInstalledLocations(const std::optional<InstalledPlugin> &plugin);

    // ---- Uninstall and repair ----

    void deletePlugin(const InstalledPlugin &plugin);
    void deletePlugins(const QList<InstalledPlugin> &plugins);
    QCoro::Task<> removeInstalledPluginPaths(QStringList paths);
    void repairMotionPlugins();

private:
    ModelGuard<InventoryHost> guard() const {
        return ModelGuard<InventoryHost>(&m_host, m_host.lifetimeObject());
    }
    /// Folded names of `allTemplatePlugins` and the folders each member product matches;
    /// rebuilt when either list changes.
    const TemplateNameIndex &templateNameIndex() const;

    /// What the preferences record of one product, as the two row tests read it.
    struct StoredProduct {
        bool receipt = false;
        QList<QByteArray> paths; ///< in the file system's encoding, ready to be looked at
        std::optional<QString> version;
    };
    /// The records of `productKey`, read again whenever the preferences may have changed:
    /// the tests ask for every row of the library at each layout. Only what the
    /// preferences say is kept; whether a recorded path exists is looked at every time.
    const StoredProduct &storedProduct(const QString &productKey) const;

    InventoryHost &m_host;
    mutable std::shared_ptr<const TemplateNameIndex> m_templateNameIndex;
    mutable QHash<QString, StoredProduct> m_storedProducts;
    mutable const Preferences *m_storedFrom = nullptr;
    mutable quint64 m_storedGeneration = 0;
    /// Lists the template trees; keeps what it made of the last listing of each category.
    std::shared_ptr<TemplateScanner> m_templateScanner;
};

} // namespace quillon
