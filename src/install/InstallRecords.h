#pragma once
// The install records kept in the user's preferences: per product a receipt, the package
// version and the template folders it added; per owner and per membership what was
// installed under them; and the partner product codes handed out with partner deliveries.

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

} // namespace quillon
