#include "Replies.h"

#include <QJsonDocument>

namespace studio {

void replyJson(httplib::Response &response, int status, const QJsonObject &object) {
    response.status = status;
    response.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void replyError(httplib::Response &response, int status, const QString &text) {
    replyJson(response, status, QJsonObject{{QStringLiteral("error"), text}});
}

void replyPage(httplib::Response &response, int status, const QString &title, const QString &body) {
    static const QString page = QStringLiteral(
        "<!doctype html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width\"><title>%1</title><style>"
        "body{font-family:'Noto Sans CJK SC',sans-serif;text-align:center;margin:48px 20px;color:#1d1d1f}"
        "p{line-height:1.6}.note{color:#86868b;font-size:14px}"
        "button{font-size:18px;padding:12px 48px;border:0;border-radius:10px;background:#07c160;color:#fff}"
        "</style></head><body><h2>%1</h2>%2</body></html>");
    response.status = status;
    response.set_content(page.arg(title.toHtmlEscaped(), body).toStdString(), "text/html; charset=utf-8");
}

std::optional<QJsonObject> jsonBody(const httplib::Request &request) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body));
    if (!document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

} // namespace studio
