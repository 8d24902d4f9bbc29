#pragma once
// The account endpoints of the stand-in service (account, member library, download
// authorisation), the cloud-drive share pages they point at and the update manifest.
// All but the last two need a token handed out by the sign-in.

#include "Catalogue.h"
#include "SignIn.h"

#include <httplib.h>

#include <optional>
#include <string>

namespace studio {

class AccountEndpoints final {
public:
    AccountEndpoints(const Catalogue &catalogue, const SignIn &signIn, std::string base);

    void route(httplib::Server &server);

private:
    void account(const QJsonObject &body, httplib::Response &response) const;
    void library(const QJsonObject &body, httplib::Response &response) const;
    void download(const QJsonObject &body, httplib::Response &response) const;
    void sharePage(const QString &productKey, httplib::Response &response) const;
    /// The body of a request with a valid token; nothing, with the refusal sent, otherwise.
    std::optional<QJsonObject> authorisedBody(const httplib::Request &request, httplib::Response &response) const;
    QString url(const QString &path, const QString &name) const;

    const Catalogue &m_catalogue;
    const SignIn &m_signIn;
    const std::string m_base;
};

} // namespace studio
