#include "install/InstallRecords.h"

#include "core/PluginManager.h"
#include "platform/DisplayText.h"

#include <QSet>

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

void PluginManager::saveInstalledProductPaths(const QStringList &paths, const QString &productKey) {
    unionWrite(defaults(), InstallRecord::productPaths, productKey, paths);
}

void PluginManager::saveInstalledPaths(const QStringList &paths, const QString &key) {
    unionWrite(defaults(), InstallRecord::installedPaths, key, paths);
}

void PluginManager::saveInstalledEntitlementProductKey(const QString &productKey, const QString &key) {
    unionWrite(defaults(), InstallRecord::entitlementProducts, key, {productKey});
}

QStringList PluginManager::savedInstalledProductPaths(const QString &productKey) const {
    return storedList(defaults(), InstallRecord::productPaths, productKey);
}

QStringList PluginManager::savedInstalledPaths(const QString &key) const {
    return storedList(defaults(), InstallRecord::installedPaths, key);
}

QStringList PluginManager::savedInstalledEntitlementProductKeys(const QString &key) const {
    return storedList(defaults(), InstallRecord::entitlementProducts, key);
}

bool PluginManager::hasInstallReceipt(const QString &productKey) const {
    return defaults().boolean(installedPathsDefaultsKey(InstallRecord::installReceipt, productKey)).value_or(false);
}

std::optional<QString> PluginManager::savedInstalledVersion(const QString &productKey) const {
    return defaults().string(installedPathsDefaultsKey(InstallRecord::packageVersion, productKey));
}

void PluginManager::loadClaimedPartnerActivationCodes() {
    PartnerCodes codes;
    const auto stored = defaults().stringDictionary(QString::fromLatin1(partnerActivationCodesDefaultsKey));
    if (stored) {
        for (auto it = stored->begin(); it != stored->end(); ++it) {
            codes.insert(it.key(), it.value().toString());
        }
    }
    setClaimedPartnerActivationCodes(codes);
}

void PluginManager::recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey) {
    if (!productKey || productKey->isEmpty() || code.isEmpty()) {
        return;
    }
    PartnerCodes codes = claimedPartnerActivationCodes();
    codes.insert(*productKey, code);
    setClaimedPartnerActivationCodes(codes);

    QVariantMap stored;
    for (auto it = codes.begin(); it != codes.end(); ++it) {
        stored.insert(it.key(), it.value());
    }
    defaults().setValue(QString::fromLatin1(partnerActivationCodesDefaultsKey), stored);
}

// The stored code is what the service sent; the button, the pasteboard and the alert go by
// what of it can be shown.
bool PluginManager::hasClaimedPartnerActivationCode(const MemberProduct &product) const {
    return !displayLine(claimedPartnerActivationCodes().value(product.productKey)).isEmpty();
}

void PluginManager::showClaimedPartnerActivationCode(const MemberProduct &product) {
    const QString code = displayLine(claimedPartnerActivationCodes().value(product.productKey));
    if (code.isEmpty()) {
        return;
    }
    environment().pasteboard->setString(code);
    AlertRequest alert;
    alert.style = AlertRequest::Style::Informational;
    alert.messageText = QStringLiteral("合作方激活码");
    alert.informativeText = displayLine(product.productName) + QStringLiteral("\n\n") + code +
                            QStringLiteral("\n\n激活码已复制，可直接粘贴使用。");
    alert.buttons = {QStringLiteral("好的")};
    environment().alerts->runModal(alert);
}

} // namespace quillon
