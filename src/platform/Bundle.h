#pragma once
// An application bundle on disk: its identifier and executable, read from
// Contents/Info.plist (XML or binary property list) through the guarded reader of
// platform/shared/PropertyListFile.h: bundles found on disk are not ours to trust.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillon {

class Bundle final {
public:
    /// The bundle at `path`, or nullopt when it has no readable Contents/Info.plist dictionary:
    /// a regular file of at most 16 MiB whose property list nests no deeper than the reader allows.
    static std::optional<Bundle> open(const QString &path);

    QString path() const { return m_path; }
    /// CFBundleIdentifier, when present and a string.
    std::optional<QString> identifier() const { return m_identifier; }
    /// Contents/MacOS/<CFBundleExecutable>, when the bundle names an executable.
    std::optional<QString> executablePath() const;

    /// Whether the Info.plist dictionary has `key` at its top level, whatever its value.
    bool hasInfoKey(const QString &key) const;
    /// The text at `keyPath` in the Info.plist (every key but the last naming a nested
    /// dictionary), when that value is a string.
    std::optional<QString> infoString(const QStringList &keyPath) const;

    /// The identifier of the running application's own bundle (none outside a bundle).
    static std::optional<QString> mainBundleIdentifier();

private:
    QString m_path;
    std::optional<QString> m_identifier;
    std::optional<QString> m_executableName;
    /// The parsed Info.plist dictionary, shared by copies.
    std::shared_ptr<void> m_info;
};

} // namespace quillon
