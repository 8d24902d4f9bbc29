#include "install/DownloadRequest.h"

#include "core/FixedURLs.h"
#include "platform/Http.h"

namespace quillon::VrelDownloadRequest {

namespace {
constexpr int kRequestTimeoutMs = 60'000;
}

QNetworkRequest make(const QUrl &url) {
    QNetworkRequest request = http::makeRequest(url, std::chrono::milliseconds(kRequestTimeoutMs));
    const bool secure = url.scheme().toLower() == QLatin1String("https");
    if (secure && downloadCDNHosts().contains(url.host().toLower())) {
        request.setRawHeader("Referer", shopRootURL().toString().toUtf8());
    }
    return request;
}

} // namespace quillon::VrelDownloadRequest
