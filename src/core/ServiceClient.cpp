#include "core/ServiceClient.h"

#include "platform/Http.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextBoundaryFinder>

namespace quillon {

QUrl endpointURL(const QUrl &base, const QString &path) {
    QUrl url = base;
    QString joined = base.path(QUrl::FullyEncoded);
    for (const QString &segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!joined.endsWith(QLatin1Char('/'))) {
            joined += QLatin1Char('/');
        }
        // One path component each: everything a component cannot hold is escaped.
        joined += QString::fromLatin1(QUrl::toPercentEncoding(segment));
    }
    url.setPath(joined, QUrl::TolerantMode);
    return url;
}

ServiceRequest makeServiceRequest(const QUrl &url, const ServiceBody &body, const std::optional<QString> &bearer,
                                  std::chrono::milliseconds timeout) {
    if (bearer && !isUsableBearerToken(*bearer)) {
        throw UnusableTokenError();
    }
    QNetworkRequest request =
        http::makeRequest(url, timeout, bearer ? http::Redirects::sameOrigin : http::Redirects::noLessSafe);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Cache-Control", "no-store");
    if (bearer) {
        request.setRawHeader("Authorization", "Bearer " + bearer->toLatin1());
    }

    QJsonObject object;
    for (auto it = body.cbegin(); it != body.cend(); ++it) {
        object.insert(it.key(), it.value());
    }
    return ServiceRequest{request, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

QCoro::Task<ServiceReply> postServiceRequest(QNetworkAccessManager &network, ServiceRequest request,
                                             std::stop_token token) {
    throwIfCancelled(token);
    ReplyOwner reply(network.post(request.request, request.body));
    auto finished = awaitReply(reply.get(), token);
    co_await finished;
    http::throwIfTransportFailed(*reply.get());
    ServiceReply result;
    result.data = reply->readAll();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.httpStatus = status.toInt();
    }
    co_return result;
}

std::optional<QUrl> serviceWebURL(const std::optional<QString> &text) {
    if (!text) {
        return std::nullopt;
    }
    const QUrl url(*text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return std::nullopt;
    }
    return url;
}

QString deviceNameFor(const QString &hostName, const QString &identifier) {
    // "Characters" as the user sees them: never split a surrogate pair or a combined mark.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, identifier);
    qsizetype end = 0;
    for (int count = 0; count < 8 && end < identifier.size(); ++count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) {
            end = identifier.size();
            break;
        }
        end = next;
    }
    const QString name = hostName.isEmpty() ? QStringLiteral("Mac") : hostName;
    return name + QStringLiteral(" · Vrel-") + identifier.left(end);
}

} // namespace quillon
