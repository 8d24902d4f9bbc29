#pragma once
// A member product with only what the inventory's tests look at.

#include "records/ReplyRecords.h"

#include <optional>

namespace quillon::test {

inline MemberProduct product(const QString &key, const QString &name, std::optional<QString> version = std::nullopt) {
    MemberProduct p;
    p.productKey = key;
    p.productName = name;
    p.packageVersion = std::move(version);
    return p;
}

} // namespace quillon::test
