#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace quillon {

/// The self-update manifest as the update host sends it: a JSON object whose "version"
/// (a dotted version string, compared with AppVersion) names the build it offers.
struct AppUpdateManifest final {
    QJsonObject json;

    /// The offered version; none when the field is missing or not a non-empty string.
    std::optional<QString> version() const {
        const QString text = json.value(QStringLiteral("version")).toString().trimmed();
        return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    }

    friend bool operator==(const AppUpdateManifest &, const AppUpdateManifest &) = default;
};

} // namespace quillon
