#pragma once
// The one factory of download requests: packages, batch downloads and the self-update.

#include <QNetworkRequest>
#include <QUrl>

namespace quillon::VrelDownloadRequest {

/// A GET request for `url` with a time-out of 60 seconds, made like every request of the
/// program (nothing cached, no cookies; see platform/Http.h).
/// Only an https URL on one of the download CDN's hosts carries the shop's root URL as
/// "Referer"; every other URL gets no extra header.
QNetworkRequest make(const QUrl &url);

} // namespace quillon::VrelDownloadRequest
