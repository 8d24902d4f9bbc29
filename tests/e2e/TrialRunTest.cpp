// The trial run end to end: the real application over the real stand-in studio service
// (a child process), driven through its window as a user drives it. Each step is a
// helper of the fixture, so that later steps (installs, deliveries) build on them.
#include "app/QuillonApp.h"
#include "core/PluginManager.h"
#include "support/StudioServiceProcess.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/AccountPanel.h"
#include "ui/MemberLibraryPanel.h"
#include "ui/MemberProductList.h"
#include "ui/WechatLoginSheet.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

class TrialRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The product's time-outs (a sanitised build is slow), but a quick sign-in poll.
        world.timing = Timing::standard();
        world.timing.loginPollInterval = 50ms;
        app = std::make_unique<QuillonApp>(world.environment(service.baseUrl()));
        app->show();
    }

    PluginManager &model() { return app->manager(); }

    template <typename Widget>
    Widget *find() {
        return app->window().findChild<Widget *>();
    }

    /// Signs in as a user does: the account panel's sign-in button, then "确认登录" on the
    /// service's authorisation page in the sign-in sheet. Returns the page's text as shown.
    QString signIn() {
        find<AccountPanel>()->signInButton()->click();
        WechatLoginSheet *sheet = nullptr;
        EXPECT_TRUE(waitUntil([&] { return (sheet = find<WechatLoginSheet>()) && sheet->isVisible(); }));
        if (!sheet) {
            return {};
        }
        // The page runs in the sheet's web view, offscreen as well: once it has loaded, a
        // script in it presses the button, as a tap does, and the button posts the approval.
        const QString press = QStringLiteral(R"((function () {
            const button = document.querySelector('form button');
            if (document.readyState !== 'complete' || !button) return null;
            const shown = document.body.innerText;
            button.click();
            return shown;
        })())");
        auto *view = qobject_cast<QWebEngineView *>(sheet->page());
        EXPECT_NE(view, nullptr) << "the web-engine module shows the page";
        QPointer<QWebEnginePage> page = view ? view->page() : nullptr;
        auto shown = std::make_shared<std::optional<QString>>();
        auto asking = std::make_shared<bool>(false);
        EXPECT_TRUE(waitUntil(
            [&] {
                if (!*asking && page) {
                    *asking = true;
                    page->runJavaScript(press, [shown, asking](const QVariant &result) {
                        *asking = false;
                        if (result.typeId() == QMetaType::QString) {
                            *shown = result.toString();
                        }
                    });
                }
                return shown->has_value();
            },
            60s));
        EXPECT_TRUE(waitUntil([&] { return model().hasWechatAccount() && !model().showWechatLogin(); }, 30s));
        return shown->value_or(QString());
    }

    /// Picks membership `key` in the account panel's picker with the arrow keys.
    void pickMembership(const QString &key) {
        QComboBox *picker = find<AccountPanel>()->membershipPicker();
        const int target = picker->findData(key, Qt::UserRole);
        ASSERT_GE(target, 0) << key.toStdString();
        for (int step = 0; step < picker->count() && picker->currentIndex() != target; ++step) {
            QTest::keyClick(picker, picker->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
        }
        ASSERT_EQ(picker->currentIndex(), target);
    }

    /// The products the member library panel lists.
    QStringList libraryShown() {
        QStringList names;
        const QAbstractItemModel *rows = find<MemberLibraryPanel>()->products()->model();
        for (int row = 0; row < rows->rowCount(); ++row) {
            names.append(rows->index(row, 0).data().toString());
        }
        return names;
    }

    /// The product names of membership `key` in the catalogue, in library order.
    static QStringList catalogueLibrary(const QString &key) {
        const QJsonObject catalogue = StudioServiceProcess::catalogue();
        QMap<QString, QString> names;
        for (const QJsonValue &product : catalogue[QStringLiteral("products")].toArray()) {
            names.insert(product[QStringLiteral("productKey")].toString(), product[QStringLiteral("productName")].toString());
        }
        QStringList library;
        for (const QJsonValue &membership : catalogue[QStringLiteral("memberships")].toArray()) {
            if (membership[QStringLiteral("productKey")].toString() == key) {
                for (const QJsonValue &product : membership[QStringLiteral("library")].toArray()) {
                    library.append(names.value(product.toString()));
                }
            }
        }
        return library;
    }

    StudioServiceProcess service;
    TestWorld world;
    std::unique_ptr<QuillonApp> app;
};

TEST_F(TrialRun, SignsInOnTheServicePageAndBrowsesEachMembershipLibrary) {
    const QString page = signIn();
    EXPECT_TRUE(page.contains(QStringLiteral("Vrel 插件中心"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("体验服务"))) << page.toStdString();

    const QJsonObject catalogue = StudioServiceProcess::catalogue();
    // The start-up's silent update check read the service's manifest.
    EXPECT_TRUE(waitUntil([&] {
        return model().latestUpdateManifest() && model().latestUpdateManifest()->json == catalogue[QStringLiteral("update")].toObject();
    }));
    AccountPanel *account = find<AccountPanel>();
    EXPECT_EQ(account->userName()->text(), catalogue[QStringLiteral("user")][QStringLiteral("nickname")].toString());
    const QJsonArray memberships = catalogue[QStringLiteral("memberships")].toArray();
    ASSERT_GE(memberships.size(), 2);
    EXPECT_EQ(account->membershipPicker()->count(), memberships.size());
    const QString purchase = catalogue[QStringLiteral("purchases")][0].toString();
    EXPECT_TRUE(std::any_of(model().accountPurchases().begin(), model().accountPurchases().end(),
                            [&](const ManagerLicense &license) { return license.productKey == purchase; }));

    // The first membership's library shows first; the picker switches to each other one and back.
    const QString first = memberships[0][QStringLiteral("productKey")].toString();
    EXPECT_TRUE(waitUntil([&] { return libraryShown() == catalogueLibrary(first); })) << libraryShown().join(u", ").toStdString();
    for (const QString &key : {memberships[1][QStringLiteral("productKey")].toString(), first}) {
        pickMembership(key);
        EXPECT_TRUE(waitUntil([&] { return !catalogueLibrary(key).isEmpty() && libraryShown() == catalogueLibrary(key); }))
            << key.toStdString() << ": " << libraryShown().join(u", ").toStdString();
        EXPECT_EQ(model().activatedProductKey(), key);
    }

    // The first product installs from its row, through the stand-in tools, and its row says so.
    MemberLibraryPanel *library = find<MemberLibraryPanel>();
    Q_EMIT library->productDelegate()->actionTriggered(0, MemberProductAction::install);
    EXPECT_TRUE(waitUntil([&] { return model().installMessage() == QStringLiteral("✓ 安装完成，请重启 FCP。"); }, std::chrono::seconds(30)))
        << model().installMessage().toStdString();
    EXPECT_TRUE(waitUntil([&] { return library->productRows()->index(0).data(MemberProductListModel::StateRole) == QStringLiteral("已安装"); }));
}
