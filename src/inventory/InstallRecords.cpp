#include "inventory/InstallRecords.h"


#include <QSet>

#include <algorithm>

namespace quillon {

QString installRecordPrefix(InstallRecord record) {
    switch (record) {
    case InstallRecord::installReceipt:
        return QStringLiteral("vrel.product.install.receipt.");
    case InstallRecord::packageVersion:
        return QStringLiteral("vrel.product.version.");
    case InstallRecord::productPaths:
        return QStringLiteral("vrel.product.paths.");
    case InstallRecord::installedPaths:
        return QStringLiteral("vrel.installed.paths.");
    case InstallRecord::entitlementProducts:
        return QStringLiteral("vrel.entitlement.products.");
    }
    return QString();
}

QString installedPathsDefaultsKey(InstallRecord record, const QString &key) { return installRecordPrefix(record) + key; }

QString entitlementStorageKey(const std::optional<QString> &productKey) {
    if (productKey && !productKey->isEmpty()) {
        return QStringLiteral("account:") + *productKey;
    }
    return QString::fromLatin1(wechatAccountOwnerKey);
}

QStringList unionOfRecords(const QStringList &stored, const QStringList &added) {
    QStringList result;
    QSet<QString> seen;
    result.reserve(stored.size() + added.size());
    for (const QStringList *list : {&stored, &added}) {
        for (const QString &item : *list) {
            if (!seen.contains(item)) {
                seen.insert(item);
                result.append(item);
            }
        }
    }
    return result;
}

namespace {

// The stored list, or empty when the key is missing or holds anything but a list of text.
QStringList storedList(const Preferences &defaults, InstallRecord record, const QString &key) {
    return defaults.stringArray(installedPathsDefaultsKey(record, key)).value_or(QStringList());
}

void unionWrite(Preferences &defaults, InstallRecord record, const QString &key, const QStringList &added) {
    const QStringList merged = unionOfRecords(storedList(defaults, record, key), added);
    defaults.setValue(installedPathsDefaultsKey(record, key), merged);
}

} // namespace

void InstallRecords::saveInstalledProductPaths(const QStringList &paths, const QString &productKey) {
    unionWrite(*m_defaults, InstallRecord::productPaths, productKey, paths);
}

void InstallRecords::saveInstalledPaths(const QStringList &paths, const QString &key) {
    unionWrite(*m_defaults, InstallRecord::installedPaths, key, paths);
}

void InstallRecords::saveInstalledEntitlementProductKey(const QString &productKey, const QString &key) {
    unionWrite(*m_defaults, InstallRecord::entitlementProducts, key, {productKey});
}

void InstallRecords::recordInstalledProduct(const QString &productKey, const QString &entitlementKey,
                                            const std::optional<QString> &packageVersion) {
    m_defaults->setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, productKey), true);
    saveInstalledEntitlementProductKey(productKey, entitlementKey);
    if (packageVersion) {
        m_defaults->setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, productKey), *packageVersion);
    }
}

QStringList InstallRecords::savedInstalledProductPaths(const QString &productKey) const {
    return storedList(*m_defaults, InstallRecord::productPaths, productKey);
}

QStringList InstallRecords::savedInstalledPaths(const QString &key) const {
    return storedList(*m_defaults, InstallRecord::installedPaths, key);
}

QStringList InstallRecords::savedInstalledEntitlementProductKeys(const QString &key) const {
    return storedList(*m_defaults, InstallRecord::entitlementProducts, key);
}

bool InstallRecords::hasInstallReceipt(const QString &productKey) const {
    return m_defaults->boolean(installedPathsDefaultsKey(InstallRecord::installReceipt, productKey)).value_or(false);
}

std::optional<QString> InstallRecords::savedInstalledVersion(const QString &productKey) const {
    return m_defaults->string(installedPathsDefaultsKey(InstallRecord::packageVersion, productKey));
}

QSet<QString> InstallRecords::productsThatAdded(const QSet<QString> &paths) const {
    QSet<QString> products;
    if (paths.isEmpty()) {
        return products;
    }
    const QString prefix = installRecordPrefix(InstallRecord::productPaths);
    for (const QString &key : m_defaults->keysStartingWith(prefix)) {
        const QStringList recorded = m_defaults->stringArray(key).value_or(QStringList());
        if (std::any_of(recorded.begin(), recorded.end(), [&](const QString &path) { return paths.contains(path); })) {
            products.insert(key.mid(prefix.size()));
        }
    }
    return products;
}

void InstallRecords::forgetReceipts(const QSet<QString> &productKeys) {
    for (const QString &productKey : productKeys) {
        const QString key = installedPathsDefaultsKey(InstallRecord::installReceipt, productKey);
        if (m_defaults->contains(key)) {
            m_defaults->remove(key);
        }
    }
}

PartnerCodes InstallRecords::partnerCodes() const {
    PartnerCodes codes;
    const auto stored = m_defaults->stringDictionary(QString::fromLatin1(partnerActivationCodesDefaultsKey));
    if (stored) {
        for (auto it = stored->begin(); it != stored->end(); ++it) {
            codes.insert(it.key(), it.value().toString());
        }
    }
    return codes;
}

void InstallRecords::savePartnerCodes(const PartnerCodes &codes) {
    QVariantMap stored;
    for (auto it = codes.begin(); it != codes.end(); ++it) {
        stored.insert(it.key(), it.value());
    }
    m_defaults->setValue(QString::fromLatin1(partnerActivationCodesDefaultsKey), stored);
}

} // namespace quillon
