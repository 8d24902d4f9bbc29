#pragma once
// The records the account service's JSON replies are decoded into.

#include <QHashFunctions>
#include <QList>
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

namespace detail {
template <typename T>
size_t hashOptional(const std::optional<T> &value, size_t seed) {
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}
} // namespace detail

/// Hashes every field, as stored.
inline size_t qHash(const MemberProduct &p, size_t seed = 0) {
    size_t h = qHashMulti(seed, p.productKey, p.productName, p.category, p.productType, p.effectCount,
                          p.minFcpVersion, p.coverUrl, p.description);
    for (const auto *field : {&p.deliveryType, &p.deliveryStatus, &p.deliveryActionLabel, &p.resourceVersion,
                              &p.packageVersion, &p.updateNotes, &p.newUntil}) {
        h = detail::hashOptional(*field, h);
    }
    h = detail::hashOptional(p.isNew, h);
    return detail::hashOptional(p.installGroup, h);
}

/// Hashes every field, as stored.
inline size_t qHash(const ManagerLicense &l, size_t seed = 0) {
    return detail::hashOptional(l.productType, detail::hashOptional(l.productKey, qHash(l.productName, seed)));
}

/// The signed-in user.
struct ManagerUser final {
    std::optional<QString> nickname;
    std::optional<QString> avatarUrl;

    friend bool operator==(const ManagerUser &, const ManagerUser &) = default;
};

/// Reply to the start of a QR sign-in.
struct ManagerLoginStartResponse final {
    std::optional<QString> ticket;
    std::optional<QString> authorizeUrl;
    std::optional<qint64> expiresIn;
    std::optional<QString> error;

    friend bool operator==(const ManagerLoginStartResponse &, const ManagerLoginStartResponse &) = default;
};

/// Reply to one poll of a QR sign-in.
struct ManagerLoginStatusResponse final {
    std::optional<QString> status;
    std::optional<QString> accessToken;
    std::optional<ManagerUser> user;
    std::optional<QString> error;

    friend bool operator==(const ManagerLoginStatusResponse &, const ManagerLoginStatusResponse &) = default;
};

/// Reply to the account request.
struct ManagerAccountResponse final {
    std::optional<bool> authenticated;
    std::optional<ManagerUser> user;
    std::optional<ManagerLicense> membership;
    std::optional<QList<ManagerLicense>> memberships;
    std::optional<QString> message;
    std::optional<QString> error;

    friend bool operator==(const ManagerAccountResponse &, const ManagerAccountResponse &) = default;
};

/// Reply to the member-library request.
struct LibraryResponse final {
    std::optional<QList<MemberProduct>> products;
    std::optional<QString> error;

    friend bool operator==(const LibraryResponse &, const LibraryResponse &) = default;
};

/// Reply to the download authorisation.
struct DownloadResponse final {
    std::optional<QString> productKey;
    std::optional<QString> productName;
    std::optional<QString> downloadUrl;
    std::optional<QString> productType;
    std::optional<QString> fileName;
    std::optional<QString> deliveryType;
    std::optional<QString> shareUrl;
    std::optional<QString> accessCode;
    std::optional<QString> archivePassword;
    std::optional<QString> partnerActivationCode;
    std::optional<QString> deliveryNote;
    std::optional<QString> resourceVersion;
    std::optional<QString> packageVersion;
    std::optional<QString> updateNotes;
    std::optional<QString> error;

    friend bool operator==(const DownloadResponse &, const DownloadResponse &) = default;
};

} // namespace quillon
