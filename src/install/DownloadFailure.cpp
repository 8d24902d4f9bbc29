#include "install/DownloadFailure.h"

namespace quillon {

QString DownloadFailure::description() const {
    if (m_kind == Kind::file) {
        return QStringLiteral("无法写入下载文件：") + m_detail;
    }
    switch (m_code) {
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // a transfer time-out aborts the reply
        return QStringLiteral("请求超时。");
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("未能连接到服务器。");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("未能找到使用指定主机名的服务器。");
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return QStringLiteral("网络连接已中断。");
    default:
        return QStringLiteral("网络错误：") + m_detail;
    }
}

} // namespace quillon
