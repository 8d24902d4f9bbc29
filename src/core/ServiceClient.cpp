#include "core/ServiceClient.h"

#include "platform/Http.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextBoundaryFinder>

namespace quillon {

namespace {

// As many as Qt follows by itself.
constexpr int kMostRedirects = 50;

bool redirectAllowed(const QUrl &from, const QUrl &to, http::Redirects redirects) {
    const QString scheme = to.scheme().toLower();
    if (!to.isValid() || to.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return false;
    }
    if (redirects == http::Redirects::sameOrigin) {
        return http::sameOrigin(from, to);
    }
    return !(from.scheme().toLower() == QLatin1String("https") && scheme == QLatin1String("http"));
}

// The absolute address a redirect answer points to; nullopt for any other answer.
std::optional<QUrl> redirectTarget(const QNetworkReply &reply, const QVariant &status) {
    const int code = status.isValid() ? status.toInt() : 0;
    const bool redirect = code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
    const QVariant target = reply.attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (!redirect || !target.isValid()) {
        return std::nullopt;
    }
    return reply.url().resolved(target.toUrl());
}

} // namespace

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
    const http::Redirects redirects = bearer ? http::Redirects::sameOrigin : http::Redirects::noLessSafe;
    QNetworkRequest request = http::makeRequest(url, timeout, redirects);
    // Qt re-sends a redirected POST unreliably over a kept-alive connection (the new request
    // fails with an unknown error, or goes out without its body): postServiceRequest
    // follows the redirects itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Cache-Control", "no-store");
    if (bearer) {
        request.setRawHeader("Authorization", "Bearer " + bearer->toLatin1());
    }

    QJsonObject object;
    for (auto it = body.cbegin(); it != body.cend(); ++it) {
        object.insert(it.key(), it.value());
    }
    return ServiceRequest{request, QJsonDocument(object).toJson(QJsonDocument::Compact), redirects};
}

QCoro::Task<ServiceReply> postServiceRequest(QNetworkAccessManager &network, ServiceRequest request,
                                             std::stop_token token) {
    QNetworkRequest next = request.request;
    bool post = true;
    for (int followed = 0;; ++followed) {
        throwIfCancelled(token);
        ReplyOwner reply(post ? network.post(next, request.body) : network.get(next));
        auto finished = awaitReply(reply.get(), token);
        co_await finished;
        http::throwIfTransportFailed(*reply.get());
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (const std::optional<QUrl> target = redirectTarget(*reply.get(), status)) {
            if (followed == kMostRedirects) {
                throw http::NetworkFailure(QNetworkReply::TooManyRedirectsError, QStringLiteral("too many redirects"));
            }
            if (!redirectAllowed(next.url(), *target, request.redirects)) {
                throw http::NetworkFailure(QNetworkReply::InsecureRedirectError,
                                           QStringLiteral("a redirect to %1 refused").arg(target->toString()));
            }
            // 307 and 308 repeat the request as it was; the others make it a GET, as browsers do.
            const int code = status.toInt();
            post = post && (code == 307 || code == 308);
            next.setUrl(*target);
            if (!post) {
                next.setHeader(QNetworkRequest::ContentTypeHeader, QVariant());
            }
            continue;
        }
        ServiceReply result;
        result.data = reply->readAll();
        if (status.isValid()) {
            result.httpStatus = status.toInt();
        }
        co_return result;
    }
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
