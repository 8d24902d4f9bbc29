#pragma once
// The install records kept in the user's preferences: per product a receipt, the package
// version and the template folders it added; per owner and per membership what was
// installed under them; and the partner product codes handed out with partner deliveries.

#include "platform/Preferences.h"
#include "records/PartnerCodes.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillon {

/// The five per-key records; each is stored under its prefix followed by the key.
enum class InstallRecord {
    installReceipt,      ///< "vrel.product.install.receipt." + product key: true once installed
    packageVersion,      ///< "vrel.product.version." + product key: the installed package version
    productPaths,        ///< "vrel.product.paths." + product key: folders the product added
    installedPaths,      ///< "vrel.installed.paths." + owner key: folders installed for an owner
    entitlementProducts, ///< "vrel.entitlement.products." + entitlement key: product keys installed
};

/// The preference-key prefix of one record.
QString installRecordPrefix(InstallRecord record);

/// Prefix + key, the key appended unchanged (no trimming, no case change).
QString installedPathsDefaultsKey(InstallRecord record, const QString &key);

/// The owner of the records written for the signed-in account.
inline constexpr char wechatAccountOwnerKey[] = "wechat-account";

/// Product key -> partner product code.
inline constexpr char partnerActivationCodesDefaultsKey[] = "vrel.partner.activation.codes";

/// "account:" + the membership key when it is present and non-empty, else "wechat-account".
QString entitlementStorageKey(const std::optional<QString> &productKey);

/// `stored` followed by the items of `added` it lacks; no item appears twice.
QStringList unionOfRecords(const QStringList &stored, const QStringList &added);

/// The records kept in one preferences store. The save operations add to what is stored;
/// no item is ever stored twice.
class InstallRecords final {
public:
    explicit InstallRecords(Preferences &defaults) : m_defaults(&defaults) {}

    void saveInstalledProductPaths(const QStringList &paths, const QString &productKey);
    void saveInstalledPaths(const QStringList &paths, const QString &key);
    void saveInstalledEntitlementProductKey(const QString &productKey, const QString &key);
    /// The receipt of a product just installed, the entitlement it was installed under and,
    /// when there is one, its package version.
    void recordInstalledProduct(const QString &productKey, const QString &entitlementKey,
                                const std::optional<QString> &packageVersion);

    /// The stored list, or empty when there is none or it holds something else.
    QStringList savedInstalledProductPaths(const QString &productKey) const;
    QStringList savedInstalledPaths(const QString &key) const;
    QStringList savedInstalledEntitlementProductKeys(const QString &key) const;
    /// The product's install receipt (false when missing or not a truth value).
    bool hasInstallReceipt(const QString &productKey) const;
    /// The stored package version, as stored (nothing when missing or not text).
    std::optional<QString> savedInstalledVersion(const QString &productKey) const;

    /// The products that recorded any of `paths` as a folder they added: one walk over
    /// the stored path records.
    QSet<QString> productsThatAdded(const QSet<QString> &paths) const;
    /// Forgets the receipts of `productKeys` (those that are stored).
    void forgetReceipts(const QSet<QString> &productKeys);

    /// The stored partner product codes, each read as text.
    PartnerCodes partnerCodes() const;
    void savePartnerCodes(const PartnerCodes &codes);

private:
    Preferences *m_defaults;
};

} // namespace quillon
