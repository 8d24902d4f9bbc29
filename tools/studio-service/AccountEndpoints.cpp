#include "AccountEndpoints.h"

#include "Replies.h"

#include <QJsonArray>
#include <QUrl>

namespace studio {

AccountEndpoints::AccountEndpoints(const Catalogue &catalogue, const SignIn &signIn, std::string base)
    : m_catalogue(catalogue), m_signIn(signIn), m_base(std::move(base)) {}

void AccountEndpoints::route(httplib::Server &server) {
    using Handler = void (AccountEndpoints::*)(const QJsonObject &, httplib::Response &) const;
    auto guarded = [this](Handler handler) {
        return [this, handler](const httplib::Request &request, httplib::Response &response) {
            if (const std::optional<QJsonObject> body = authorisedBody(request, response)) {
                (this->*handler)(*body, response);
            }
        };
    };
    server.Post("/api/manager/account", guarded(&AccountEndpoints::account));
    server.Post("/api/manager/library", guarded(&AccountEndpoints::library));
    server.Post("/api/manager/download", guarded(&AccountEndpoints::download));
    server.Get(R"(/share/([^/]+))", [this](const httplib::Request &request, httplib::Response &response) {
        sharePage(QString::fromStdString(request.matches[1].str()), response);
    });
    server.Get("/downloads/vrel-plugin-manager-update.json", [this](const httplib::Request &, httplib::Response &response) {
        if (m_catalogue.updateManifest.isEmpty()) {
            replyError(response, 404, QStringLiteral("没有更新信息。"));
        } else {
            replyJson(response, 200, m_catalogue.updateManifest);
        }
    });
}

std::optional<QJsonObject> AccountEndpoints::authorisedBody(const httplib::Request &request,
                                                            httplib::Response &response) const {
    if (!m_signIn.authorised(request)) {
        replyError(response, 401, QStringLiteral("登录已失效，请重新扫码登录。"));
        return std::nullopt;
    }
    std::optional<QJsonObject> body = jsonBody(request);
    if (!body) {
        replyError(response, 400, QStringLiteral("请求格式不正确。"));
    }
    return body;
}

QString AccountEndpoints::url(const QString &path, const QString &name) const {
    return QString::fromStdString(m_base) + path + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

void AccountEndpoints::account(const QJsonObject &, httplib::Response &response) const {
    QJsonArray records;
    for (const QJsonObject &record : m_catalogue.licenses()) {
        records.append(record);
    }
    replyJson(response, 200,
              QJsonObject{{QStringLiteral("authenticated"), true},
                          {QStringLiteral("user"), m_catalogue.user},
                          {QStringLiteral("memberships"), records}});
}

void AccountEndpoints::library(const QJsonObject &body, httplib::Response &response) const {
    const QString key = body.value(QStringLiteral("membershipProductKey")).toString();
    const Membership *membership = key.isEmpty() && !m_catalogue.memberships.isEmpty()
                                       ? &m_catalogue.memberships.first()
                                       : m_catalogue.membership(key);
    if (!membership && !m_catalogue.purchases.contains(key)) {
        replyError(response, 403, QStringLiteral("当前账户没有这个会员权益。"));
        return;
    }
    // A product bought on its own opens no library.
    QJsonArray products;
    for (const QString &product : membership ? membership->library : QStringList()) {
        products.append(m_catalogue.products[product].record);
    }
    replyJson(response, 200, QJsonObject{{QStringLiteral("products"), products}});
}

void AccountEndpoints::download(const QJsonObject &body, httplib::Response &response) const {
    const QString key = body.value(QStringLiteral("productKey")).toString();
    if (key.isEmpty()) {
        replyError(response, 400, QStringLiteral("缺少商品编号。"));
        return;
    }
    const auto found = m_catalogue.products.constFind(key);
    if (found == m_catalogue.products.constEnd()) {
        replyError(response, 404, QStringLiteral("没有找到这个商品。"));
        return;
    }
    const Product &product = *found;
    if (!m_catalogue.entitles(key, body.value(QStringLiteral("membershipProductKey")).toString())) {
        replyError(response, 403, QStringLiteral("当前会员权益不包含这个商品。"));
        return;
    }
    if (product.delivery == Delivery::refused) {
        replyError(response, 403, product.refusal);
        return;
    }
    const bool supplement = body.value(QStringLiteral("deliveryMode")).toString() == QLatin1String("supplement");
    if (supplement && product.delivery != Delivery::hybrid) {
        replyError(response, 400, QStringLiteral("这个商品没有网盘补充内容。"));
        return;
    }

    QJsonObject reply{{QStringLiteral("productKey"), product.key},
                      {QStringLiteral("productName"), product.name},
                      {QStringLiteral("productType"), product.productType}};
    for (const char *field : {"packageVersion", "resourceVersion", "updateNotes"}) {
        if (product.record.value(QLatin1String(field)).isString()) {
            reply.insert(QLatin1String(field), product.record.value(QLatin1String(field)));
        }
    }
    const bool cloud = supplement || product.delivery == Delivery::baiduPan || product.delivery == Delivery::partnerPool;
    if (!cloud) {
        reply.insert(QStringLiteral("fileName"), product.file);
        reply.insert(QStringLiteral("downloadUrl"), url(QStringLiteral("packages/"), product.file));
        replyJson(response, 200, reply);
        return;
    }
    reply.insert(QStringLiteral("deliveryType"), product.record.value(QStringLiteral("deliveryType")));
    reply.insert(QStringLiteral("shareUrl"), url(QStringLiteral("share/"), product.key));
    const std::pair<const char *, QString> extras[] = {{"accessCode", product.accessCode},
                                                       {"archivePassword", product.archivePassword},
                                                       {"partnerActivationCode", product.partnerCode},
                                                       {"deliveryNote", product.note}};
    for (const auto &[field, value] : extras) {
        if (!value.isEmpty()) {
            reply.insert(QLatin1String(field), value);
        }
    }
    replyJson(response, 200, reply);
}

void AccountEndpoints::sharePage(const QString &productKey, httplib::Response &response) const {
    const auto found = m_catalogue.products.constFind(productKey);
    if (found == m_catalogue.products.constEnd() || found->delivery == Delivery::package ||
        found->delivery == Delivery::resource || found->delivery == Delivery::refused) {
        replyPage(response, 404, QStringLiteral("百度网盘"), QStringLiteral("<p>分享的文件已经被删除了。</p>"));
        return;
    }
    QString body = QStringLiteral("<p>这是体验服务模拟的百度网盘分享页；真实服务会在这里打开“%1”的网盘分享。</p>")
                       .arg(found->name.toHtmlEscaped());
    if (!found->accessCode.isEmpty()) {
        body += QStringLiteral("<p>提取码：<b>%1</b></p>").arg(found->accessCode.toHtmlEscaped());
    }
    replyPage(response, 200, QStringLiteral("百度网盘 · 体验服务"), body);
}

} // namespace studio
