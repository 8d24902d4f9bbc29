#pragma once
// Shared helpers of the account tests: a model talking to a scripted account service.

#include "core/ManagerSessionStore.h"
#include "model/PluginManager.h"
#include "support/FakeAccountService.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

namespace quillon::test {

inline const std::string kLoginStart = "/api/manager/login/start";
inline const std::string kLoginStatus = "/api/manager/login/status";
inline const std::string kAccount = "/api/manager/account";
inline const std::string kLibrary = "/api/manager/library";

inline QJsonObject license(const QString &key, const QString &name, const QString &type = QString()) {
    QJsonObject o{{QStringLiteral("productName"), name}};
    if (!key.isNull()) {
        o.insert(QStringLiteral("productKey"), key);
    }
    if (!type.isNull()) {
        o.insert(QStringLiteral("productType"), type);
    }
    return o;
}

inline QJsonObject product(const QString &key) {
    return QJsonObject{{QStringLiteral("productKey"), key},     {QStringLiteral("productName"), key + QStringLiteral(" 名称")},
                       {QStringLiteral("category"), QStringLiteral("效果")}, {QStringLiteral("productType"), QStringLiteral("plugin")},
                       {QStringLiteral("effectCount"), 3},      {QStringLiteral("minFcpVersion"), QStringLiteral("10.6")},
                       {QStringLiteral("coverUrl"), QStringLiteral("http://127.0.0.1:9/c.png")},
                       {QStringLiteral("description"), QStringLiteral("说明")}};
}

inline QJsonObject library(int count) {
    QJsonArray products;
    for (int i = 0; i < count; ++i) {
        products.append(product(QStringLiteral("p%1").arg(i)));
    }
    return QJsonObject{{QStringLiteral("products"), products}};
}

inline QJsonObject bodyOf(const RecordedRequest &request) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
}

class AccountTest : public ::testing::Test {
protected:
    FakeAccountService service;
    TestWorld world;
    std::unique_ptr<PluginManager> model;

    PluginManager &makeModel() {
        model = std::make_unique<PluginManager>(world.environment(service.baseUrl()));
        return *model;
    }

    QString tokenFile() const {
        return QDir(world.paths.applicationSupport).filePath(QStringLiteral("Quillon/manager-session"));
    }
    bool tokenFileExists() const { return QFileInfo::exists(tokenFile()); }

    /// A signed-in account in account mode, as a finished sync leaves it.
    void signedIn(const QString &token, const ManagerLicense &membership) {
        model->setManagerAccessToken(token);
        model->sessionStore().saveManagerToken(token);
        model->setIsWechatLoggedIn(true);
        model->setWechatUserName(QStringLiteral("小明"));
        model->setSelectedMembershipUsesWechatAccount(true);
        model->setAccountPurchases({membership});
        model->setAccountMemberships({membership});
        model->setActivatedProductKey(membership.productKey);
        model->setActivatedProduct(membership.productName);
        model->setActivatedProductType(membership.productType.value_or(QStringLiteral("plugin")));
    }

    /// Lets the event loop run for a moment, for checks that something did NOT happen.
    static void settle(std::chrono::milliseconds time = std::chrono::milliseconds(150)) {
        waitUntil([] { return false; }, time);
    }
};

} // namespace quillon::test
