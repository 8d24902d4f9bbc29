#include "SignIn.h"

#include "Replies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <random>

namespace studio {
namespace {

const QString kProduct = QStringLiteral("Vrel 插件中心");
const QString kExpired = QStringLiteral("二维码已过期，请重新扫码。");

std::string randomHex(int bytes) {
    static thread_local std::random_device device;
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        const unsigned value = device() & 0xFFu;
        text += digits[value >> 4];
        text += digits[value & 0xFu];
    }
    return text;
}

} // namespace

SignIn::SignIn(QJsonObject user, int expiresIn, std::string base, QString tokenFile)
    : m_user(std::move(user)), m_expiresIn(expiresIn), m_base(std::move(base)), m_tokenFile(std::move(tokenFile)) {
    QFile file(m_tokenFile);
    if (!m_tokenFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty()) {
                m_tokens.insert(line.trimmed().toStdString());
            }
        }
    }
}

void SignIn::route(httplib::Server &server) {
    server.Post("/api/manager/login/start", [this](const httplib::Request &, httplib::Response &response) { start(response); });
    server.Post("/api/manager/login/status", [this](const httplib::Request &request, httplib::Response &response) {
        status(request, response);
    });
    server.Get("/authorize", [this](const httplib::Request &request, httplib::Response &response) { page(request, response); });
    server.Post("/authorize/approve", [this](const httplib::Request &request, httplib::Response &response) {
        approve(request, response);
    });
}

bool SignIn::authorised(const httplib::Request &request) const {
    const std::string header = request.get_header_value("Authorization");
    const std::string scheme = "Bearer ";
    if (header.compare(0, scheme.size(), scheme) != 0) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    return m_tokens.count(header.substr(scheme.size())) > 0;
}

SignIn::Ticket *SignIn::ticket(const std::string &id) {
    const auto found = m_tickets.find(id);
    if (found == m_tickets.end()) {
        return nullptr;
    }
    if (std::chrono::steady_clock::now() >= found->second.expires) {
        m_tickets.erase(found);
        return nullptr;
    }
    return &found->second;
}

void SignIn::start(httplib::Response &response) {
    const std::string id = randomHex(12);
    {
        std::lock_guard lock(m_mutex);
        m_tickets[id] = Ticket{std::chrono::steady_clock::now() + std::chrono::seconds(m_expiresIn), std::nullopt};
    }
    replyJson(response, 200,
              QJsonObject{{QStringLiteral("ticket"), QString::fromStdString(id)},
                          {QStringLiteral("authorizeUrl"), QString::fromStdString(m_base + "authorize?ticket=" + id)},
                          {QStringLiteral("expiresIn"), m_expiresIn}});
}

void SignIn::status(const httplib::Request &request, httplib::Response &response) {
    const std::optional<QJsonObject> body = jsonBody(request);
    const QString id = body ? body->value(QStringLiteral("ticket")).toString() : QString();
    if (id.isEmpty()) {
        replyError(response, 400, QStringLiteral("缺少登录票据。"));
        return;
    }
    std::lock_guard lock(m_mutex);
    const Ticket *found = ticket(id.toStdString());
    if (!found) {
        replyError(response, 410, kExpired);
    } else if (!found->token) {
        replyJson(response, 200, QJsonObject{{QStringLiteral("status"), QStringLiteral("pending")}});
    } else {
        replyJson(response, 200,
                  QJsonObject{{QStringLiteral("status"), QStringLiteral("approved")},
                              {QStringLiteral("accessToken"), QString::fromStdString(*found->token)},
                              {QStringLiteral("user"), m_user}});
    }
}

void SignIn::page(const httplib::Request &request, httplib::Response &response) {
    const std::string id = request.get_param_value("ticket");
    bool live = false;
    {
        std::lock_guard lock(m_mutex);
        live = ticket(id) != nullptr;
    }
    if (!live) {
        replyPage(response, 410, kProduct, QStringLiteral("<p>二维码已失效，请在 Vrel 插件中心重新获取。</p>"));
        return;
    }
    // The ticket is known, so it is one of ours: hexadecimal, safe in the page as it stands.
    replyPage(response, 200, kProduct,
              QStringLiteral("<p>这是 Vrel 插件中心的<b>体验服务</b>：它在本机运行，不连接微信，"
                             "也不涉及任何真实账户或付款。</p>"
                             "<p>确认后，将以体验账户“%1”登录。</p>"
                             "<form method=\"post\" action=\"/authorize/approve\">"
                             "<input type=\"hidden\" name=\"ticket\" value=\"%2\">"
                             "<button type=\"submit\">确认登录</button></form>"
                             "<p class=\"note\">体验服务中的会员、商品和安装包均为示例。</p>")
                  .arg(m_user.value(QStringLiteral("nickname")).toString().toHtmlEscaped(), QString::fromStdString(id)));
}

void SignIn::approve(const httplib::Request &request, httplib::Response &response) {
    std::string token;
    bool fresh = false;
    {
        std::lock_guard lock(m_mutex);
        Ticket *found = ticket(request.get_param_value("ticket"));
        if (!found) {
            replyPage(response, 410, kProduct, QStringLiteral("<p>二维码已失效，请在 Vrel 插件中心重新获取。</p>"));
            return;
        }
        fresh = !found->token;
        if (fresh) {
            found->token = "vrel-trial-" + randomHex(16);
            m_tokens.insert(*found->token);
        }
        token = *found->token;
    }
    if (fresh && !m_tokenFile.isEmpty()) {
        QDir().mkpath(QFileInfo(m_tokenFile).absolutePath());
        QFile file(m_tokenFile);
        if (!file.open(QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
            file.write(QByteArray::fromStdString(token) + '\n') < 0) {
            std::fprintf(stderr, "quillon-studio-service: cannot keep the session in %s\n", qPrintable(m_tokenFile));
        }
    }
    replyPage(response, 200, kProduct, QStringLiteral("<p>已确认登录。</p><p>请回到 Vrel 插件中心，会员权益稍后即会显示。</p>"));
}

} // namespace studio
