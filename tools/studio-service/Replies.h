#pragma once
// The reply shapes every endpoint of the stand-in service shares.

#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <optional>

namespace studio {

/// `object` as a JSON reply with `status`.
void replyJson(httplib::Response &response, int status, const QJsonObject &object);
/// {"error": text} with `status`.
void replyError(httplib::Response &response, int status, const QString &text);
/// A small Chinese page: `title` as its heading, `body` (HTML, already escaped) below it.
void replyPage(httplib::Response &response, int status, const QString &title, const QString &body);
/// The request's body as a JSON object; nothing when it is not one.
std::optional<QJsonObject> jsonBody(const httplib::Request &request);

} // namespace studio
