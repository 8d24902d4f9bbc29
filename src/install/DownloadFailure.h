#pragma once
// A download that could not be written to disk. Failures of the connection are
// http::NetworkFailure; failures of the server's answer itself are InstallError::invalidResponse.

#include "platform/Failure.h"
#include "platform/FailureTexts.h"

#include <QByteArray>
#include <QString>

namespace quillon {

class DownloadFailure final : public UserFacingError {
public:
    /// `errorNumber`: the `errno` the failed call left; `path`: the file or folder it was about.
    explicit DownloadFailure(int errorNumber, const QString &path = {})
        : m_kind(fileFailureKind(errorNumber)),
          m_what(QStringLiteral("cannot write the download%1: %2")
                     .arg(path.isEmpty() ? QString() : QStringLiteral(" ") + path, qt_error_string(errorNumber))
                     .toUtf8()) {}

    FailureKind kind() const { return m_kind; }

    QString description() const override { return failureText(m_kind); }
    /// The system's own wording, for the log.
    const char *what() const noexcept override { return m_what.constData(); }

private:
    FailureKind m_kind;
    QByteArray m_what;
};

} // namespace quillon
