#pragma once
// A failure reported by the platform itself (a child process that cannot be started,
// a folder that cannot be found or created), with the platform's own wording.

#include <QString>

#include <exception>

namespace quillon {

class PlatformError final : public std::exception {
public:
    explicit PlatformError(QString description) : m_description(std::move(description)), m_what(m_description.toUtf8()) {}

    /// The platform's text, shown as it stands.
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QByteArray m_what;
};

} // namespace quillon
