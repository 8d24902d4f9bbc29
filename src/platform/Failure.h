#pragma once
// Failures and the words the user reads about them.
//
// Every failure type of the program derives from UserFacingError: `description()` is the
// Chinese text shown after a prefix such as "安装未完成：", `what()` is the detail that
// goes into the log. `failureDescription` turns any exception into that text, so no
// caller decides on its own what a failure is called.

#include <QByteArray>
#include <QString>

#include <exception>

namespace quillon {

class UserFacingError : public std::exception {
public:
    /// The text shown to the user (Chinese, no final punctuation added by callers).
    virtual QString description() const = 0;
};

/// The platform refused something (a child process that cannot be started, a folder that
/// cannot be found or created). `description` is the Chinese text the user reads; the
/// platform's own wording, when there is one, is `detail`, kept for the log.
class PlatformError final : public UserFacingError {
public:
    explicit PlatformError(QString description, const QString &detail = {})
        : m_description(std::move(description)),
          m_what((detail.isEmpty() ? m_description : m_description + QStringLiteral(" (") + detail + QLatin1Char(')'))
                     .toUtf8()) {}

    QString description() const override { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QByteArray m_what;
};

/// The user's text for any failure; one that is not ours gets a generic text, and its own
/// wording goes to the log.
QString failureDescription(const std::exception &error);
/// The same for a captured exception (anything that is not a std::exception included).
QString failureDescription(const std::exception_ptr &error);
/// What a captured failure says of itself (`what()`), for the log.
QString failureDetail(const std::exception_ptr &error);

} // namespace quillon
