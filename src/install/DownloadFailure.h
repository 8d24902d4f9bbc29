#pragma once
// A download that failed below HTTP (the connection) or on the disk. Failures of the
// server's answer itself are InstallError::invalidResponse.

#include <QNetworkReply>
#include <QString>

#include <exception>

namespace quillon {

class DownloadFailure final : public std::exception {
public:
    enum class Kind { transport, file };

    static DownloadFailure transport(QNetworkReply::NetworkError code, const QString &detail) {
        return DownloadFailure(Kind::transport, code, detail);
    }
    static DownloadFailure file(const QString &detail) {
        return DownloadFailure(Kind::file, QNetworkReply::NoError, detail);
    }

    Kind kind() const { return m_kind; }
    QNetworkReply::NetworkError networkError() const { return m_code; }
    /// The system's own wording (the network stack's or the file system's).
    const QString &detail() const { return m_detail; }

    /// The text shown to the user.
    QString description() const;

    const char *what() const noexcept override { return "download failure"; }

private:
    DownloadFailure(Kind kind, QNetworkReply::NetworkError code, QString detail)
        : m_kind(kind), m_code(code), m_detail(std::move(detail)) {}

    Kind m_kind;
    QNetworkReply::NetworkError m_code;
    QString m_detail;
};

} // namespace quillon
