#pragma once
// The status line and header fields of one HTTP response, kept as a value so that it
// outlives the network reply it came from.

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

namespace quillon {

struct HttpResponse final {
    QUrl url;
    int statusCode = 0;
    QList<QPair<QByteArray, QByteArray>> headers;

    /// The value of a header field (name compared without regard to case); empty when absent.
    QByteArray header(const QByteArray &name) const {
        for (const auto &[key, value] : headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0) {
                return value;
            }
        }
        return {};
    }
    bool hasHeader(const QByteArray &name) const {
        for (const auto &field : headers) {
            if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
        return false;
    }

    /// The response a finished reply carries; nullopt-like (status 0) when it got no HTTP status.
    static HttpResponse from(const QNetworkReply &reply) {
        HttpResponse response;
        response.url = reply.url();
        response.statusCode = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        response.headers = reply.rawHeaderPairs();
        return response;
    }
    bool isHttp() const { return statusCode > 0; }
};

} // namespace quillon
