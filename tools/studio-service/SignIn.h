#pragma once
// The QR sign-in of the stand-in service. A login start hands out a ticket and the
// address of a small authorisation page served here, standing in for WeChat's: its
// "确认登录" button approves the ticket, and the next status poll returns a token.
// Tokens open the account, library and download endpoints; with a token file they
// outlive the service, as signed-in sessions do at the studio.

#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace studio {

class SignIn final {
public:
    /// `base` is the service's own address ("http://127.0.0.1:<port>/"); `tokenFile` may be empty.
    SignIn(QJsonObject user, int expiresIn, std::string base, QString tokenFile);

    void route(httplib::Server &server);

    /// Whether the request carries "Authorization: Bearer <a token handed out here>".
    bool authorised(const httplib::Request &request) const;

private:
    struct Ticket {
        std::chrono::steady_clock::time_point expires;
        std::optional<std::string> token; ///< set once approved
    };

    void start(httplib::Response &response);
    void status(const httplib::Request &request, httplib::Response &response);
    void page(const httplib::Request &request, httplib::Response &response);
    void approve(const httplib::Request &request, httplib::Response &response);
    /// The live ticket `id`, or null (expired tickets are forgotten). Holds the lock.
    Ticket *ticket(const std::string &id);

    const QJsonObject m_user;
    const int m_expiresIn;
    const std::string m_base;
    const QString m_tokenFile;
    mutable std::mutex m_mutex;
    std::map<std::string, Ticket> m_tickets;
    std::set<std::string> m_tokens;
};

} // namespace studio
