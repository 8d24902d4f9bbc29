#pragma once
// The records the account service's JSON replies are decoded into.

#include <QString>

#include <optional>

namespace quillon {

/// One product of the member library.
struct MemberProduct final {
    QString productKey;
    QString productName;
    QString category;
    QString productType;
    qint64 effectCount = 0;
    QString minFcpVersion;
    QString coverUrl;
    QString description;
    std::optional<QString> deliveryType;
    std::optional<QString> deliveryStatus;
    std::optional<QString> deliveryActionLabel;
    std::optional<QString> resourceVersion;
    std::optional<QString> packageVersion;
    std::optional<QString> updateNotes;
    std::optional<QString> newUntil;
    std::optional<bool> isNew;
    std::optional<QString> installGroup;

    friend bool operator==(const MemberProduct &, const MemberProduct &) = default;
};

/// One membership or purchase of the signed-in account.
struct ManagerLicense final {
    std::optional<QString> productKey;
    QString productName;
    std::optional<QString> productType;

    /// The key when present (even empty); otherwise type (or "license") + "::" + name.
    QString id() const {
        if (productKey) {
            return *productKey;
        }
        return productType.value_or(QStringLiteral("license")) + QStringLiteral("::") + productName;
    }

    friend bool operator==(const ManagerLicense &, const ManagerLicense &) = default;
};

} // namespace quillon
