#pragma once
// A download that could not be written to disk. Failures of the connection are
// http::NetworkFailure; failures of the server's answer itself are InstallError::invalidResponse.

#include "platform/Failure.h"

#include <QByteArray>
#include <QString>

namespace quillon {

class DownloadFailure final : public UserFacingError {
public:
    /// `detail`: the file system's own wording.
    explicit DownloadFailure(QString detail)
        : m_detail(std::move(detail)), m_what(("cannot write the download: " + m_detail).toUtf8()) {}

    const QString &detail() const { return m_detail; }

    QString description() const override { return QStringLiteral("无法写入下载文件：") + m_detail; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_detail;
    QByteArray m_what;
};

} // namespace quillon
