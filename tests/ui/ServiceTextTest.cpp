// Texts from the account service, the update manifest and the disk reach the window as
// the words they are: never rendered as markup, never carrying control or direction
// characters that hide or reorder what the user reads.
#include "model/PluginManager.h"
#include "records/AppVersion.h"
#include "support/LocalHttpServer.h"
#include "support/ShownText.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/ContentView.h"
#include "ui/InstalledPluginsPanel.h"
#include "ui/MemberLibraryPanel.h"
#include "ui/MemberProductList.h"
#include "ui/SheetBinding.h"
#include "ui/UpdatePanel.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized");

/// Markup that would render as a red heading, a name that would read "exe.jpg", a bell,
/// a terminal colour sequence and a line break.
const QString hostile = QString::fromUtf16(u"<h1 style=\"color:red\">Vrel</h1> gpj\u202E.exe\u0007\u001B[31m\r\n尾");
const QString hostileShown = QStringLiteral("<h1 style=\"color:red\">Vrel</h1> gpj.exe[31m尾");

/// The characters nothing on screen may carry (a line feed aside, which a label may use
/// to stack its own lines).
bool isClean(const QString &text) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        const bool control = (c < 0x20 && c != u'\n') || (c >= 0x7F && c <= 0x9F);
        const bool direction = c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                               (c >= 0x2066 && c <= 0x2069);
        if (control || direction || c == 0x2028 || c == 0x2029) {
            return false;
        }
    }
    return true;
}

/// Every label of `root` that shows something: each is clean, and the markup in the
/// hostile text is shown as characters. Returns how many showed the hostile text.
int checkLabels(const QWidget *root, const QString &markup = QStringLiteral("<h1 style=\"color:red\">Vrel</h1>")) {
    int showingHostile = 0;
    for (const QLabel *label : root->findChildren<QLabel *>()) {
        if (label->text().isEmpty()) {
            continue;
        }
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_TRUE(isClean(label->text()));
        if (label->text().contains(QStringLiteral("<h1"))) {
            ++showingHostile;
            EXPECT_TRUE(test::shownText(*label).contains(markup));
        }
    }
    return showingHostile;
}

MemberProduct hostileProduct() {
    MemberProduct product;
    product.productKey = QStringLiteral("p");
    product.productName = hostile;
    product.category = hostile;
    product.description = hostile;
    product.productType = QStringLiteral("plugin");
    product.deliveryType = QStringLiteral("baidu_pan");
    product.deliveryActionLabel = QString::fromUtf16(u"领\u202E取\u0007");
    return product;
}

class ServiceTextTest : public ::testing::Test {
protected:
    test::TestWorld world;
    PluginManager model{world.environment()};
};

} // namespace

TEST_F(ServiceTextTest, EveryLabelOfTheWindowShowsTheServicesAndTheDisksTextsPlainAndClean) {
    // A plug-in folder whose name carries markup, a direction override, a bell and a line break.
    const QString folderName = QString::fromUtf16(u"<b>Glow\u202E\u0007\nVrel");
    world.makeFolder(userTree + QStringLiteral("/Effects.localized/") + folderName);
    ContentView view(model);
    view.resize(1240, 780);
    view.show();

    model.setIsWechatLoggedIn(true);
    model.setWechatUserName(hostile);
    model.setWechatLoginMessage(hostile);
    model.setAccountPurchases({ManagerLicense{QStringLiteral("k"), hostile, QStringLiteral("plugin")}});
    model.setMemberLibraryMessage(hostile);
    model.setStatusMessage(hostile);
    model.setInstallMessage(hostile);
    model.setUpdateMessage(hostile);
    model.setBatchInstallStatus(hostile);
    model.setSingleInstallStage(hostile);
    model.setShowsSingleInstallProgress(true);
    model.setMemberProducts({hostileProduct()});
    model.refreshInstalledPlugins();
    auto *plugins = view.findChild<InstalledPluginsPanel *>();
    ASSERT_NE(plugins, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return plugins->pluginList()->count() == 1; }));

    // The account name and message, the library message, the status line (both its lines),
    // the update line, the batch line and the progress card.
    EXPECT_EQ(checkLabels(&view), 7);
    int singleLines = 0;
    int statusLines = 0;
    for (const QLabel *label : view.findChildren<QLabel *>()) {
        singleLines += label->text() == hostileShown;
        statusLines += label->text() == hostileShown + QLatin1Char('\n') + hostileShown;
    }
    EXPECT_EQ(singleLines, 6);
    EXPECT_EQ(statusLines, 1);

    // The lists: bought products, installed plug-ins (a folder name from disk), member products.
    for (const QListWidget *list : view.findChildren<QListWidget *>()) {
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
            EXPECT_TRUE(isClean(item->text())) << item->text().toStdString();
            EXPECT_TRUE(isClean(test::shownToolTip(item->toolTip())));
        }
    }
    const QListWidgetItem *plugin = plugins->pluginList()->item(0);
    EXPECT_EQ(plugin->text(), QStringLiteral("效果 · <b>GlowVrel"));
    EXPECT_TRUE(test::shownToolTip(plugin->toolTip()).endsWith(QStringLiteral("/<b>GlowVrel")))
        << plugin->toolTip().toStdString();

    auto *library = view.findChild<MemberLibraryPanel *>();
    ASSERT_NE(library, nullptr);
    const QAbstractItemModel *rows = library->products()->model();
    ASSERT_EQ(rows->rowCount(), 1);
    const QModelIndex row = rows->index(0, 0);
    EXPECT_EQ(rows->data(row, Qt::DisplayRole).toString(), hostileShown);
    EXPECT_EQ(rows->data(row, MemberProductListModel::CategoryRole).toString(), hostileShown);
    EXPECT_EQ(test::shownToolTip(rows->data(row, Qt::ToolTipRole).toString()), hostileShown);
    const auto *productRows = qobject_cast<const MemberProductListModel *>(rows);
    ASSERT_NE(productRows, nullptr);
    ASSERT_FALSE(productRows->buttons(0).isEmpty());
    EXPECT_EQ(productRows->buttons(0).first().label, QStringLiteral("领取"));

    // The sign-in sheet repeats the service's message.
    model.setShowWechatLogin(true);
    QDialog *sheet = view.wechatLoginSheet().sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(checkLabels(sheet), 1);
    model.setShowWechatLogin(false);
}

TEST_F(ServiceTextTest, TheInstallSuccessAlertShowsTheDeliveryMessageAsPlainText) {
    ContentView view(model);
    view.show();
    model.setDeliverySuccessTitle(QStringLiteral("合作商品已领取"));
    model.setLastDeliveryMessage(hostile + QStringLiteral("\n\n") + QString::fromUtf16(u"说明\u2028第二行"));
    model.setShowInstallSuccess(true);
    auto *alert = qobject_cast<QMessageBox *>(view.installSuccessAlert().sheet());
    ASSERT_NE(alert, nullptr);
    // The message keeps its lines and paragraphs.
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("<h1 style=\"color:red\">Vrel</h1> gpj.exe[31m\n尾\n\n说明\n第二行"));
    EXPECT_EQ(checkLabels(alert), 1);
    for (const QLabel *label : alert->findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
    }
    alert->buttons().first()->click();
}

TEST_F(ServiceTextTest, TheUninstallQuestionNamesAFolderFromDiskAsPlainText) {
    // Markup without a closing tag: a folder name holds no slash.
    world.makeFolder(userTree + QStringLiteral("/Effects.localized/") + QString::fromUtf16(u"<h1 style=\"color:red\">Vrel\u202E\u0007"));
    InstalledPluginsPanel panel(model);
    panel.show();
    panel.rescanButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 1; }));
    panel.pluginList()->setCurrentRow(0);
    panel.uninstallButton()->click();
    auto *question = qobject_cast<QMessageBox *>(panel.deleteConfirmation().sheet());
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("卸载“<h1 style=\"color:red\">Vrel”？"));
    EXPECT_EQ(checkLabels(question, QStringLiteral("<h1 style=\"color:red\">Vrel")), 1);
    model.setShowPluginDeleteConfirmation(false);
}

TEST(UpdateLineTest, AVersionHoldingMarkupIsShownAsWritten) {
    test::LocalHttpServer server;
    const QString version = QStringLiteral("99<h1 style=\"color:red\">新版</h1>");
    const std::string manifest = QJsonDocument(QJsonObject{{QStringLiteral("version"), version}}).toJson().toStdString();
    server.http().Get("/downloads/vrel-plugin-manager-update.json", [manifest](const httplib::Request &, httplib::Response &res) {
        res.set_content(manifest, "application/json");
    });
    server.start();
    test::TestWorld world;
    PluginManager model{world.environment(server.baseUrl())};
    UpdatePanel panel{model};
    panel.show();
    panel.checkButton()->click();
    const QString expected = QStringLiteral("发现新版本 ") + version + QStringLiteral("（当前 ") + AppVersion::current() +
                             QStringLiteral("）。");
    ASSERT_TRUE(test::waitUntil([&] { return panel.message()->text() == expected; }));
    EXPECT_EQ(test::shownText(*panel.message()), expected) << "shown as written, not as a heading";
}
