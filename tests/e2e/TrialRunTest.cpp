// The trial run end to end: the real application over the stand-in studio service (a child
// process), driven through its window as a user drives it, along the whole road in order.
// Real wherever it exists offscreen: preferences in a file, folders of a temporary world, the
// stand-in tools as child processes, widgets, sheets and message boxes, the sign-in page in Qt
// WebEngine. Faked (TestWorld) is what has no offscreen counterpart: the workspace (browser,
// file manager, Installer app, running applications), the pasteboard, and the modal alerts of
// Alerts::runModal (the install-all confirmation), answered by script. With QUILLON_TOUR_DIR
// set (tools/screenshot-tour/run-tour.sh) each step leaves a picture in that folder.
#include "app/QuillonApp.h"
#include "common/Registry.h"
#include "model/PluginManager.h"
#include "install/InstallFixtures.h"
#include "inventory/InstallRecords.h"
#include "install/views/NetdiskDeliverySheet.h"
#include "inventory/views/InstallLocationGuide.h"
#include "support/StudioServiceProcess.h"
#include "support/Wait.h"
#include "support/WindowPicture.h"
#include "ui/AccountPanel.h"
#include "ui/BatchInstallBar.h"
#include "ui/ContentView.h"
#include "ui/InstalledPluginsPanel.h"
#include "ui/MemberLibraryPanel.h"
#include "ui/MemberProductButtons.h"
#include "ui/MemberProductList.h"
#include "ui/SheetBinding.h"
#include "ui/SingleInstallProgressCard.h"
#include "ui/WechatLoginSheet.h"

#include <QComboBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kLong = 60s; // a sanitised build on a loaded machine is slow
const QString kSupport = QStringLiteral("/Library/Application Support/Final Cut Pro");
const QString kMembership = QStringLiteral("vrel-all-site-lifetime");
const QStringList kBatch{QStringLiteral("vrel-light-titles"), QStringLiteral("vrel-dynamic-transitions"),
                         QStringLiteral("vrel-film-grade"), QStringLiteral("vrel-particle-generators")};
const QString kTransitions = QStringLiteral("Vrel 动感转场"); // the large package
const QStringList kTransitionFolders{QStringLiteral("Vrel 动感转场 快切"), QStringLiteral("Vrel 动感转场 推拉")};
const QString kLightTitles = QStringLiteral("Vrel 光影字幕");
const QString kPaused = QStringLiteral("将在当前文件下载完成后暂停");

QString record(InstallRecord kind, const QString &key) { return installedPathsDefaultsKey(kind, key); }

/// The result of `script` in `page`, once it has run.
QVariant evaluate(QWebEnginePage *page, const QString &script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    waitUntil([&] { return result->has_value(); }, kLong);
    return result->value_or(QVariant());
}

class TrialRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The product's time-outs, but a quick sign-in poll and pause check.
        world.timing = Timing::standard();
        world.timing.loginPollInterval = 50ms;
        world.timing.batchPauseCheck = 20ms;
        app = std::make_unique<QuillonApp>(world.environment(service.baseUrl()));
        app->show();
    }

    PluginManager &model() { return app->manager(); }
    Preferences &preferences() { return *world.preferences; }
    ContentView &content() { return *find<ContentView>(); }
    template <typename Widget>
    Widget *find() {
        return app->window().findChild<Widget *>();
    }

    /// Clicks `button` once it can be clicked (views follow the model a turn later).
    void click(QAbstractButton *button) {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(waitUntil([&] { return button->isVisible() && button->isEnabled(); })) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    /// The button `name` inside `parent` that shows (a page left lingers until it is deleted).
    QAbstractButton *shownButton(QWidget *parent, const QString &name) {
        QAbstractButton *shown = nullptr;
        EXPECT_TRUE(parent && waitUntil([&] {
            for (QAbstractButton *button : parent->findChildren<QAbstractButton *>(name)) {
                shown = button->isVisible() ? button : shown;
            }
            return shown != nullptr;
        })) << name.toStdString();
        return shown;
    }

    /// The sheet of `binding` once it shows (`Content`: the dialog, or a widget inside it).
    template <typename Content = QDialog>
    Content *sheet(SheetBinding &binding) {
        EXPECT_TRUE(waitUntil([&] { return binding.sheet() && binding.sheet()->isVisible(); }, kLong));
        QDialog *dialog = binding.sheet();
        Content *content = qobject_cast<Content *>(dialog);
        return content || !dialog ? content : dialog->findChild<Content *>();
    }

    void closeSheet(SheetBinding &binding) {
        click(shownButton(binding.sheet(), QStringLiteral("close")));
        EXPECT_TRUE(waitUntil([&] { return !binding.sheet(); }));
    }

    /// The row of a product in the member library (-1: none).
    int row(const QString &name) {
        const MemberProductListModel *rows = find<MemberLibraryPanel>()->productRows();
        for (int row = 0; row < rows->rowCount(); ++row) {
            if (rows->product(row).productName == name) {
                return row;
            }
        }
        return -1;
    }
    QString rowState(const QString &name) {
        return find<MemberLibraryPanel>()->productRows()->index(row(name)).data(MemberProductListModel::StateRole).toString();
    }
    /// Presses the first button of a product's row.
    void clickRow(const QString &name) {
        MemberLibraryPanel *panel = find<MemberLibraryPanel>();
        const QModelIndex index = panel->productRows()->index(row(name));
        ASSERT_TRUE(index.isValid()) << name.toStdString();
        panel->products()->scrollTo(index);
        MemberProductButtons *buttons = panel->rowButtons(index.row());
        ASSERT_TRUE(buttons && !buttons->buttons().isEmpty()) << name.toStdString();
        QTest::mouseClick(buttons->buttons().first(), Qt::LeftButton);
    }

    /// A folder of the system-wide template tree.
    QString tree(const QString &relative) const {
        return world.paths.systemRoot + kSupport + QStringLiteral("/Templates.localized/") + relative;
    }
    /// Whether the running batch is writing (to a hidden part file) or has written its package `name`.
    bool staging(const QString &name) const {
        QDirIterator it(world.paths.temporary, {QStringLiteral("*") + name + QStringLiteral("*")}, QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (it.next().contains(QStringLiteral("/Vrel-批量安装-"))) {
                return true;
            }
        }
        return false;
    }
    /// What the temporary folder and the managed installer folder still hold.
    QStringList leftovers() {
        return QDir(world.paths.temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) +
               snapshot(model().managedInstallerFolder()).keys();
    }

    /// With QUILLON_TOUR_DIR set, a picture of the window and its sheets, as the user sees them.
    void shot(const QString &name) {
        if (const QString folder = qEnvironmentVariable("QUILLON_TOUR_DIR"); !folder.isEmpty()) {
            QTest::qWait(300); // pending layouts and the web view's first frames; pictures only
            EXPECT_TRUE(windowPicture(app->window()).save(QDir(folder).filePath(name + QStringLiteral(".png"))));
        }
    }

    void signInAndBrowse() {
        shot(QStringLiteral("01-main-window"));
        click(find<AccountPanel>()->signInButton());
        WechatLoginSheet *login = sheet<WechatLoginSheet>(content().wechatLoginSheet());
        ASSERT_TRUE(login);
        auto *view = qobject_cast<QWebEngineView *>(login->page());
        ASSERT_NE(view, nullptr) << "the web-engine module shows the page";
        // The service's page in the sheet's web view, offscreen too: once it has loaded, a script
        // presses its button as a tap does, and the button posts the approval.
        const QString loaded = QStringLiteral(
            "document.readyState === 'complete' && document.querySelector('form button') ? document.body.innerText : ''");
        QString page;
        ASSERT_TRUE(waitUntil([&] { return !(page = evaluate(view->page(), loaded).toString()).isEmpty(); }, kLong));
        EXPECT_TRUE(page.contains(QStringLiteral("Vrel 插件中心")) && page.contains(QStringLiteral("体验服务"))) << page.toStdString();
        shot(QStringLiteral("02-sign-in-sheet"));
        evaluate(view->page(), QStringLiteral("document.querySelector('form button').click()"));
        ASSERT_TRUE(waitUntil([&] { return model().hasWechatAccount() && !model().showWechatLogin(); }, kLong));

        // The account's memberships in the picker, the first one's library as the catalogue lists it.
        const QJsonObject catalogue = StudioServiceProcess::catalogue();
        AccountPanel *account = find<AccountPanel>();
        EXPECT_EQ(account->userName()->text(), catalogue[QStringLiteral("user")][QStringLiteral("nickname")].toString());
        EXPECT_EQ(account->membershipPicker()->count(), catalogue[QStringLiteral("memberships")].toArray().size());
        const QJsonArray library = catalogue[QStringLiteral("memberships")][0][QStringLiteral("library")].toArray();
        const MemberProductListModel *rows = find<MemberLibraryPanel>()->productRows();
        ASSERT_TRUE(waitUntil([&] { return rows->rowCount() == library.size(); }, kLong)) << rows->rowCount();
        for (int row = 0; row < rows->rowCount(); ++row) {
            EXPECT_EQ(rows->product(row).productKey, library[row].toString());
        }
        EXPECT_EQ(model().activatedProductKey(), kMembership);
        EXPECT_EQ(rowState(kTransitions), QStringLiteral("未安装"));
        shot(QStringLiteral("03-library"));
    }

    void installOneProduct() {
        clickRow(kTransitions);
        ASSERT_TRUE(waitUntil([&] { return model().singleInstallShowsPercent() && model().singleInstallProgress() > 0; }, kLong));
        EXPECT_TRUE(find<MemberLibraryPanel>()->progressCard()->isVisible());
        shot(QStringLiteral("04-progress-card"));
        ASSERT_TRUE(waitUntil([&] { return model().installMessage() == QStringLiteral("✓ 安装完成，请重启 FCP。"); }, kLong))
            << model().installMessage().toStdString();
        for (const QString &folder : kTransitionFolders) {
            EXPECT_TRUE(QFileInfo(tree(QStringLiteral("Transitions.localized/") + folder)).isDir()) << folder.toStdString();
        }
        EXPECT_EQ(preferences().value(record(InstallRecord::installReceipt, kBatch[1])), true);
        EXPECT_EQ(preferences().value(record(InstallRecord::packageVersion, kBatch[1])), QStringLiteral("2.0.1"));
        EXPECT_TRUE(waitUntil([&] { return rowState(kTransitions) == QStringLiteral("已安装"); })) << rowState(kTransitions).toStdString();

        // The guide opens on what was installed, and shows where it is found in Final Cut Pro.
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().succeeded, QStringList{kTransitions});
        shot(QStringLiteral("05-guide"));
        click(shownButton(guide, QStringLiteral("showLocations")));
        EXPECT_EQ(guide->category(), FCPLocation::transitions);
        EXPECT_EQ(guide->rows(), (QList<InstallLocationEntry>{{FCPLocation::transitions, kTransitionFolders[0]},
                                                              {FCPLocation::transitions, kTransitionFolders[1]}}));
        shot(QStringLiteral("06-guide-location"));
        closeSheet(content().locationGuideSheet());
    }

    void claimCloudDriveDelivery() {
        clickRow(QStringLiteral("Vrel 电影感 LUT 合集"));
        auto *delivery = sheet<NetdiskDeliverySheet>(content().netdiskDeliverySheet());
        ASSERT_TRUE(delivery);
        const QUrl share = service.baseUrl().resolved(QUrl(QStringLiteral("share/vrel-cinema-luts")));
        EXPECT_EQ(world.workspace->openedURLs, QList<QUrl>{share});
        EXPECT_EQ(delivery->findChild<QTextBrowser *>(QStringLiteral("fullLink"))->toPlainText(), share.toString());
        click(delivery->findChild<QPushButton *>(QStringLiteral("copyAll")));
        for (const QString &part : {share.toString(), QStringLiteral("lut8"), QStringLiteral("vrel-lut")}) {
            EXPECT_TRUE(world.pasteboard->contents.contains(part)) << world.pasteboard->contents.toStdString();
        }
        shot(QStringLiteral("07-delivery-sheet"));
        closeSheet(content().netdiskDeliverySheet());
    }

    void installAllWithAPause() {
        BatchInstallBar *bar = find<BatchInstallBar>();
        click(bar->installAllButton());
        ASSERT_EQ(world.alerts->shown.size(), 1) << "the confirmation, answered with its first button";
        EXPECT_EQ(world.alerts->shown[0].messageText, QStringLiteral("一键安装全部全站可安装内容"));
        // Paused while the large second package arrives: it is finished, the third waits.
        ASSERT_TRUE(waitUntil([&] { return staging(QStringLiteral("02.pkg")); }, kLong));
        click(bar->pauseButton());
        EXPECT_EQ(model().batchInstallStatus(), kPaused);
        EXPECT_TRUE(waitUntil([&] { return bar->pauseButton()->text() == QStringLiteral("继续"); }));
        ASSERT_TRUE(waitUntil([&] { return model().batchInstallCompleted() == 2; }, kLong));
        shot(QStringLiteral("08-batch-paused"));
        EXPECT_FALSE(waitUntil([&] { return model().batchInstallStatus() != kPaused; }, 10 * world.timing.batchPauseCheck));
        click(bar->pauseButton());
        EXPECT_EQ(model().batchInstallStatus(), QStringLiteral("正在继续下载"));

        ASSERT_TRUE(waitUntil([&] { return !model().isBatchInstalling(); }, kLong)) << model().batchInstallStatus().toStdString();
        // The hybrid product's cloud-drive part is left to its row.
        EXPECT_EQ(model().batchInstallStatus(), QStringLiteral("自动安装完成；百度网盘补充内容请在对应项目单独领取；请重启 FCP"));
        for (const QString &folder : {QStringLiteral("Titles.localized/Vrel 光影字幕"), QStringLiteral("Effects.localized/Vrel 胶片调色"),
                                      QStringLiteral("Generators.localized/Vrel 粒子背景")}) {
            EXPECT_TRUE(QFileInfo(tree(folder)).isDir()) << folder.toStdString();
        }
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().succeeded.size(), 4);
        shot(QStringLiteral("09-batch-summary"));
        closeSheet(content().locationGuideSheet());
    }

    void stopAnInstallAllMidDownload() {
        BatchInstallBar *bar = find<BatchInstallBar>();
        click(bar->installAllButton());
        ASSERT_TRUE(waitUntil([&] { return staging(QStringLiteral("02.pkg")); }, kLong));
        click(bar->stopButton());
        ASSERT_TRUE(waitUntil([&] { return !model().isBatchInstalling(); }, kLong));
        EXPECT_EQ(model().batchInstallStatus(), QStringLiteral("已终止批量安装"));
        EXPECT_EQ(model().batchInstallCompleted(), 1) << "stopped while the second package was arriving";
        EXPECT_TRUE(waitUntil([&] { return leftovers().isEmpty(); })) << leftovers().join(u' ').toStdString(); // removed in the background
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().failures, QStringList{QStringLiteral("批量任务已终止，未进入安装的项目未安装。")});
        shot(QStringLiteral("10-batch-stopped"));
        closeSheet(content().locationGuideSheet());
    }

    void uninstallOnePlugin() {
        QTabBar *sections = find<QTabWidget>()->tabBar();
        QTest::mouseClick(sections, Qt::LeftButton, {}, sections->tabRect(1).center());
        InstalledPluginsPanel *panel = find<InstalledPluginsPanel>();
        ASSERT_TRUE(panel->isVisible());
        QListWidget *list = panel->pluginList();
        const QList<QListWidgetItem *> rows = list->findItems(kLightTitles, Qt::MatchEndsWith);
        ASSERT_EQ(rows.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(rows[0]).center());
        shot(QStringLiteral("11-installed-panel"));
        click(panel->uninstallButton());
        auto *question = sheet<QMessageBox>(panel->deleteConfirmation());
        ASSERT_TRUE(question);
        shot(QStringLiteral("12-uninstall-confirmation"));
        const QList<QAbstractButton *> buttons = question->buttons();
        click(*std::find_if(buttons.begin(), buttons.end(), [](auto *b) { return b->text() == QStringLiteral("卸载"); }));
        ASSERT_TRUE(waitUntil([&] { return model().installMessage() == QStringLiteral("✓ 已卸载 Vrel 光影字幕。请重启 Final Cut Pro。"); },
                              kLong))
            << model().installMessage().toStdString();
        EXPECT_FALSE(QFileInfo::exists(tree(QStringLiteral("Titles.localized/") + kLightTitles)));
        EXPECT_FALSE(preferences().contains(record(InstallRecord::installReceipt, kBatch[0])));
        EXPECT_TRUE(waitUntil([&] { return list->findItems(kLightTitles, Qt::MatchEndsWith).isEmpty(); }));
    }

    void repairTheDeliveredRuntime() {
        InstalledPluginsPanel *panel = find<InstalledPluginsPanel>();
        click(panel->repairButton());
        ASSERT_TRUE(waitUntil([&] { return panel->repairMessage()->text() == QStringLiteral("✓ 已修复完成"); }, kLong))
            << panel->repairMessage()->text().toStdString();
        shot(QStringLiteral("13-repair"));
        // The runtime the particle backgrounds brought, registered again through the stand-ins.
        const QString runtime = world.paths.systemRoot + kSupport + QStringLiteral("/.MotionSupport/Vrel 粒子背景/MotionRuntime.app");
        const QString id = QStringLiteral("local.motiontemplate.runtime.vrel-particle-generators");
        const QJsonObject apps = standin::readRegistry(world.paths.systemRoot, QStringLiteral("launchservices"));
        EXPECT_EQ(apps.keys(), QStringList{runtime});
        EXPECT_EQ(apps[runtime][QStringLiteral("identifier")].toString(), id);
        EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, QStringLiteral("pluginkit")).keys(),
                  QStringList{runtime + QStringLiteral("/Contents/PlugIns/ZelmFxPluginXPC.pluginkit")});
        EXPECT_EQ(world.workspace->terminated, QStringList{id});
    }

    void expectOnlyTheRecordsLeft() {
        EXPECT_EQ(leftovers(), QStringList());
        // Every product of the batch has its records but the uninstalled one its receipt; the
        // single install also recorded its folders for the account.
        const QString entitlement = record(InstallRecord::entitlementProducts, entitlementStorageKey(kMembership));
        QStringList expected{record(InstallRecord::installedPaths, QString::fromLatin1(wechatAccountOwnerKey)), entitlement};
        for (const QString &key : kBatch) {
            expected << record(InstallRecord::packageVersion, key) << record(InstallRecord::productPaths, key);
            if (key != kBatch[0]) {
                expected << record(InstallRecord::installReceipt, key);
            }
        }
        preferences().sync();
        QFile file(preferences().fileName());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList records = QJsonDocument::fromJson(file.readAll()).object().keys();
        records.removeIf([](const QString &key) {
            return !key.startsWith(QStringLiteral("vrel.product.")) && !key.startsWith(QStringLiteral("vrel.entitlement.")) &&
                   !key.startsWith(QStringLiteral("vrel.installed."));
        });
        expected.sort();
        EXPECT_EQ(records, expected);
        const QStringList entitled = preferences().stringArray(entitlement).value_or(QStringList());
        EXPECT_EQ(QSet<QString>(entitled.begin(), entitled.end()), QSet<QString>(kBatch.begin(), kBatch.end()));
        EXPECT_EQ(preferences().stringArray(record(InstallRecord::productPaths, kBatch[1])),
                  (QStringList{tree(QStringLiteral("Transitions.localized/") + kTransitionFolders[0]),
                               tree(QStringLiteral("Transitions.localized/") + kTransitionFolders[1])}));
    }

    // The service paces its packages: the large one takes a second, so that a pause or a stop
    // surely lands while it downloads.
    StudioServiceProcess service{QStringList{QStringLiteral("--throttle-bytes-per-second"), QString::number(16 << 20)}};
    TestWorld world;
    std::unique_ptr<QuillonApp> app;
};

} // namespace

TEST_F(TrialRun, WalksTheWholeRoadAsAUserDoes) {
    ASSERT_NO_FATAL_FAILURE(signInAndBrowse());
    ASSERT_NO_FATAL_FAILURE(installOneProduct());
    ASSERT_NO_FATAL_FAILURE(claimCloudDriveDelivery());
    ASSERT_NO_FATAL_FAILURE(installAllWithAPause());
    ASSERT_NO_FATAL_FAILURE(stopAnInstallAllMidDownload());
    ASSERT_NO_FATAL_FAILURE(uninstallOnePlugin());
    ASSERT_NO_FATAL_FAILURE(repairTheDeliveredRuntime());
    expectOnlyTheRecordsLeft();
}
