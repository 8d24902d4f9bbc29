#pragma once
// How the account service's free-form product types, keys and names fold into the
// canonical membership types, four of which open a member library.

#include "records/ReplyRecords.h"

#include <QList>
#include <QString>

#include <optional>

namespace quillon {

/// "all_site", "fcp_templates", "tovel_subtitles" or "all_plugins" by the first rule that
/// matches the key, type or name; otherwise the product type as given, or "plugin".
QString canonicalMembershipType(const std::optional<QString> &productType, const std::optional<QString> &productKey,
                                const std::optional<QString> &productName);

/// The canonical type of a record's own fields.
QString canonicalMembershipType(const ManagerLicense &license);

/// True exactly for the four canonical lower-case types that open a member library.
bool isMemberLibraryType(const QString &type);

/// The account's records without duplicates.
struct AccountPurchaseList final {
    /// Keeps input order; drops records without a key or with a blank key, and every
    /// record whose key (untrimmed) was already seen.
    static QList<ManagerLicense> unique(const QList<ManagerLicense> &licenses);
};

/// Title and subtitle of the current library, by its canonical type.
QString memberLibraryTitleFor(const QString &type);
QString memberLibrarySubtitleFor(const QString &type);

/// Title and subtitle of one membership in the picker, by its canonical type.
QString membershipLibraryTitleFor(const QString &type);
QString membershipLibrarySubtitleFor(const QString &type);

} // namespace quillon
