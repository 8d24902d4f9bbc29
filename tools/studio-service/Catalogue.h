#pragma once
// What the stand-in studio service offers, read from a JSON file a tester can edit:
// the signed-in user, the account's memberships and purchases, every product with how
// it is delivered, and the files (packages and resource archives) the service builds.

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace studio {

/// One plug-in folder a package installs: "<category>.localized/<name>" in the template tree.
struct PluginFolder {
    QString category; ///< "Titles", "Generators", "Effects" or "Transitions"
    QString name;
};

/// A Motion runtime application a package installs, as
/// ".MotionSupport/<folder>/MotionRuntime.app" beside the template tree, sealed.
struct RuntimeBundle {
    QString folder;
    QString identifier; ///< "local.motiontemplate.runtime." and at least 12 letters, digits or "-"
};

/// A file the service builds and serves under "packages/<fileName>".
struct ServedFile {
    QString fileName;              ///< a plain name ending in ".pkg" (flat package) or ".zip" (resource archive)
    QString identifier;            ///< package identifier
    QList<PluginFolder> folders;   ///< package: the plug-in folders its payload installs
    int paddingMiB = 0;            ///< package: an incompressible file of this size inside, for large downloads
    QList<RuntimeBundle> runtimes; ///< package: the Motion runtimes it carries
    QStringList entries;           ///< archive: the files it holds
    QJsonObject spec;              ///< the entry as written; its digest names the cached build

    bool isPackage() const { return fileName.endsWith(QLatin1String(".pkg")); }
};

/// How a download authorisation for a product is answered.
enum class Delivery { package, resource, baiduPan, hybrid, partnerPool, refused };

struct Product {
    QString key;
    QString name;
    QString productType;
    /// The member library record exactly as the library reply carries it.
    QJsonObject record;
    Delivery delivery = Delivery::package;
    QString file;            ///< package, hybrid, resource: the served file
    QString accessCode;      ///< cloud-drive deliveries
    QString archivePassword;
    QString note;
    QString partnerCode;     ///< partner_pool
    QString refusal;         ///< refused: the service's error text
};

struct Membership {
    QJsonObject license;     ///< productKey, productName, productType as the account reply carries it
    QString key;
    QStringList library;     ///< product keys, in library order
};

struct Catalogue {
    QJsonObject user;
    int loginExpiresIn = 600;
    QList<Membership> memberships;
    QStringList purchases;   ///< product keys bought one by one
    QMap<QString, Product> products;
    QMap<QString, ServedFile> files;
    QJsonObject updateManifest;

    /// Reads and checks the catalogue; throws std::runtime_error naming the faulty entry.
    static Catalogue load(const QString &path);

    const Membership *membership(const QString &key) const;
    /// The account's records: every membership, then every purchase.
    QList<QJsonObject> licenses() const;
    /// Whether the account may download `productKey` under `membershipKey` (empty: any of its rights).
    bool entitles(const QString &productKey, const QString &membershipKey) const;
};

} // namespace studio
