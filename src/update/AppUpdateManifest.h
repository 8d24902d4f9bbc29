#pragma once

#include <QJsonObject>

namespace quillon {

/// The self-update manifest as the update host sends it.
struct AppUpdateManifest final {
    QJsonObject json;

    friend bool operator==(const AppUpdateManifest &, const AppUpdateManifest &) = default;
};

} // namespace quillon
