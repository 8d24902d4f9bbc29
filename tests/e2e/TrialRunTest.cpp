// The trial run end to end: the real application over the stand-in studio service (a child
// process), driven through its window as a user drives it, along the whole road in order.
// Real wherever it exists offscreen: preferences in a file, folders of a temporary world, the
// stand-in tools as child processes, widgets, sheets and message boxes, the sign-in page in Qt
// WebEngine, the stand-in Installer app that packages handed off open in (a child process
// behind the fake workspace). Faked (TestWorld) is what has no offscreen counterpart: the
// workspace (browser, file manager, running applications), the pasteboard, and the modal
// alerts of Alerts::runModal (the install-all confirmations, a partner code shown again),
// answered by script. Password prompts are the stand-in osascript's, cancelled by script where
// the road says so. With QUILLON_TOUR_DIR set (tools/screenshot-tour/run-tour.sh) each step
// leaves a picture in that folder.
#include "app/QuillonApp.h"
#include "common/Registry.h"
#include "core/ManagerSessionStore.h"
#include "model/PluginManager.h"
#include "install/InstallFixtures.h"
#include "inventory/InstallRecords.h"
#include "install/views/NetdiskDeliverySheet.h"
#include "inventory/views/InstallLocationGuide.h"
#include "support/ScriptedPrompts.h"
#include "support/StandInInstallerApp.h"
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
const QString kPurchase = QStringLiteral("vrel-neon-titles"); // bought on its own
const QString kNeonTitles = QStringLiteral("Vrel 霓虹灯字幕");
const QString kTemplates = QStringLiteral("fcp-template-membership");
// One template of each install group; the first package installs three templates.
const QStringList kTemplateBatch{QStringLiteral("Vrel 婚礼片头模板"), QStringLiteral("Vrel 竖屏社交模板"),
                                 QStringLiteral("Vrel 故障风模板")};
const QStringList kTemplateFolders{
    QStringLiteral("Titles.localized/Vrel 婚礼片头模板"),     QStringLiteral("Generators.localized/Vrel 旅行片头模板"),
    QStringLiteral("Titles.localized/Vrel 企业宣传模板"),     QStringLiteral("Titles.localized/Vrel 竖屏社交模板"),
    QStringLiteral("Generators.localized/Vrel 新闻字条模板"), QStringLiteral("Titles.localized/Vrel 故障风模板"),
    QStringLiteral("Generators.localized/Vrel 节日祝福模板")};
const QString kCancelled = QStringLiteral("安装未完成：已取消管理员授权。");
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
        // The product's time-outs, but a quick sign-in poll, pause check and Installer check.
        world.timing = Timing::standard();
        world.timing.loginPollInterval = 50ms;
        world.timing.batchPauseCheck = 20ms;
        world.timing.packageCleanupCheck = 50ms; // the stand-in Installer quits as soon as it has installed
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

    /// Answers the alert of `binding` with its button `text`.
    void answerAlert(SheetBinding &binding, const QString &text) {
        auto *alert = qobject_cast<QMessageBox *>(binding.sheet());
        ASSERT_NE(alert, nullptr);
        const QList<QAbstractButton *> buttons = alert->buttons();
        const auto button = std::find_if(buttons.begin(), buttons.end(), [&](auto *b) { return b->text() == text; });
        ASSERT_NE(button, buttons.end()) << text.toStdString();
        click(*button);
        EXPECT_TRUE(waitUntil([&] { return !binding.sheet(); }));
    }

    /// Shows the window's section `index` (0: the member library, 1: the installed plug-ins).
    void showSection(int index) {
        QTabBar *sections = find<QTabWidget>()->tabBar();
        QTest::mouseClick(sections, Qt::LeftButton, {}, sections->tabRect(index).center());
        ASSERT_EQ(find<QTabWidget>()->currentIndex(), index);
    }

    /// The product keys of the member library's rows, in order.
    QStringList productKeys() {
        const MemberProductListModel *rows = find<MemberLibraryPanel>()->productRows();
        QStringList keys;
        for (int row = 0; row < rows->rowCount(); ++row) {
            keys.append(rows->product(row).productKey);
        }
        return keys;
    }
    /// The product keys of a membership's library as the catalogue lists them.
    static QStringList libraryOf(const QString &membership) {
        QStringList keys;
        for (const QJsonValue &entry : StudioServiceProcess::catalogue()[QStringLiteral("memberships")].toArray()) {
            if (entry[QStringLiteral("productKey")].toString() == membership) {
                for (const QJsonValue &key : entry[QStringLiteral("library")].toArray()) {
                    keys.append(key.toString());
                }
            }
        }
        return keys;
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
        click(buttons->buttons().first());
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
        shot(QStringLiteral("08-delivery-sheet"));
        closeSheet(content().netdiskDeliverySheet());
    }

    void cancelTheAdministratorPrompt() {
        const ScriptedPrompts prompts{{QStringLiteral("cancel")}};
        clickRow(kLightTitles);
        ASSERT_TRUE(waitUntil([&] { return !model().isWorking(); }, kLong));
        EXPECT_EQ(model().installMessage(), kCancelled);
        // The one prompt was for the downloaded package, which is gone with nothing installed.
        const QStringList asked = prompts.scripts();
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].contains(world.paths.temporary)) << asked[0].toStdString();
        EXPECT_EQ(leftovers(), QStringList());
        EXPECT_FALSE(QFileInfo::exists(tree(QStringLiteral("Titles.localized/") + kLightTitles)));
        EXPECT_FALSE(preferences().contains(record(InstallRecord::installReceipt, kBatch[0])));
        EXPECT_FALSE(preferences().contains(record(InstallRecord::packageVersion, kBatch[0])));
        // The card keeps the failure; the row is as it was.
        SingleInstallProgressCard *card = find<MemberLibraryPanel>()->progressCard();
        EXPECT_TRUE(waitUntil([&] { return card->isVisible() && card->stage()->text() == kCancelled; }))
            << card->stage()->text().toStdString();
        EXPECT_TRUE(waitUntil([&] { return rowState(kLightTitles) == QStringLiteral("未安装"); }));
        shot(QStringLiteral("07-prompt-cancelled"));
    }

    void claimAPartnerProduct() {
        const QString name = QStringLiteral("合作商品：光晕音效包");
        const QString code = QStringLiteral("VREL-PTNR-7K3M-2Q9D");
        clickRow(name);
        auto *alert = sheet<QMessageBox>(content().installSuccessAlert());
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), QStringLiteral("合作商品已领取"));
        EXPECT_EQ(alert->informativeText(),
                  QStringLiteral("已在浏览器打开 合作商品：光晕音效包 的百度网盘页面。 提取码：p7q3。 合作方激活码 "
                                 "VREL-PTNR-7K3M-2Q9D 已复制。每款合作商品仅分配 1 份。\n\n在合作方网站输入激活码即可下载。"));
        EXPECT_EQ(world.workspace->openedURLs.last(),
                  service.baseUrl().resolved(QUrl(QStringLiteral("share/partner-glow-sound-pack"))));
        EXPECT_EQ(world.pasteboard->contents, code);
        EXPECT_EQ(preferences().stringDictionary(QString::fromLatin1(partnerActivationCodesDefaultsKey)),
                  (QVariantMap{{QStringLiteral("partner-glow-sound-pack"), code}}));
        shot(QStringLiteral("09-partner-claimed"));
        answerAlert(content().installSuccessAlert(), QStringLiteral("好的"));
        // The row keeps the code at hand: its new button copies it again and shows it.
        world.pasteboard->contents.clear();
        QPushButton *again = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            MemberProductButtons *buttons = find<MemberLibraryPanel>()->rowButtons(row(name));
            again = buttons && buttons->buttons().size() == 2 ? buttons->buttons()[1] : nullptr;
            return again != nullptr;
        }));
        EXPECT_EQ(again->text(), QStringLiteral("查看激活码"));
        const qsizetype asked = world.alerts->shown.size();
        click(again);
        ASSERT_EQ(world.alerts->shown.size(), asked + 1);
        EXPECT_EQ(world.alerts->shown.last().messageText, QStringLiteral("合作方激活码"));
        EXPECT_TRUE(world.alerts->shown.last().informativeText.contains(code));
        EXPECT_EQ(world.pasteboard->contents, code);
    }

    void downloadAResource() {
        const QString name = QStringLiteral("Vrel 4K 漏光素材");
        const QString archive = QStringLiteral("Vrel-Light-Leaks-4K.zip");
        // A file of the user's under the archive's name stays as it is: the download takes another name.
        const QString mine = world.writeFile(QStringLiteral("home/Downloads/Vrel 素材/") + archive, "我的素材");
        const QDir folder = QFileInfo(mine).dir();
        clickRow(name);
        auto *alert = sheet<QMessageBox>(content().installSuccessAlert());
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), QStringLiteral("安装成功"));
        EXPECT_EQ(alert->informativeText(), name + QStringLiteral("已下载到“下载/Vrel 素材”。"));
        EXPECT_EQ(model().installMessage(), QStringLiteral("✓ 下载完成，已保存到“下载/Vrel 素材”。"));
        const QString saved = folder.filePath(QStringLiteral("Vrel-Light-Leaks-4K (2).zip"));
        EXPECT_EQ(world.workspace->revealed.last(), QStringList{saved});
        EXPECT_EQ(readAll(mine), QByteArray("我的素材"));
        EXPECT_TRUE(readAll(saved).startsWith("PK\x03\x04")) << "the service's archive";
        QStringList held = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        held.sort();
        EXPECT_EQ(held, (QStringList{QFileInfo(saved).fileName(), archive}));
        shot(QStringLiteral("10-resource-saved"));
        answerAlert(content().installSuccessAlert(), QStringLiteral("好的"));
    }

    void installAllWithAPause() {
        BatchInstallBar *bar = find<BatchInstallBar>();
        const qsizetype asked = world.alerts->shown.size();
        click(bar->installAllButton());
        ASSERT_EQ(world.alerts->shown.size(), asked + 1) << "the confirmation, answered with its first button";
        EXPECT_EQ(world.alerts->shown.last().messageText, QStringLiteral("一键安装全部全站可安装内容"));
        // Paused while the large second package arrives: it is finished, the third waits.
        ASSERT_TRUE(waitUntil([&] { return staging(QStringLiteral("02.pkg")); }, kLong));
        click(bar->pauseButton());
        EXPECT_EQ(model().batchInstallStatus(), kPaused);
        EXPECT_TRUE(waitUntil([&] { return bar->pauseButton()->text() == QStringLiteral("继续"); }));
        ASSERT_TRUE(waitUntil([&] { return model().batchInstallCompleted() == 2; }, kLong));
        shot(QStringLiteral("11-batch-paused"));
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
        shot(QStringLiteral("12-batch-summary"));
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
        shot(QStringLiteral("13-batch-stopped"));
        closeSheet(content().locationGuideSheet());
    }

    void uninstallOnePlugin() {
        showSection(1);
        InstalledPluginsPanel *panel = find<InstalledPluginsPanel>();
        ASSERT_TRUE(panel->isVisible());
        QListWidget *list = panel->pluginList();
        const QList<QListWidgetItem *> rows = list->findItems(kLightTitles, Qt::MatchEndsWith);
        ASSERT_EQ(rows.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(rows[0]).center());
        shot(QStringLiteral("14-installed-panel"));
        click(panel->uninstallButton());
        auto *question = sheet<QMessageBox>(panel->deleteConfirmation());
        ASSERT_TRUE(question);
        shot(QStringLiteral("15-uninstall-confirmation"));
        answerAlert(panel->deleteConfirmation(), QStringLiteral("卸载"));
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
        shot(QStringLiteral("16-repair"));
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

    void installAPurchase() {
        showSection(0);
        AccountPanel *account = find<AccountPanel>();
        MemberLibraryPanel *library = find<MemberLibraryPanel>();
        const QString picked = account->membershipPicker()->currentText();
        const QString title = library->title()->text();
        const QStringList rows = productKeys();
        QListWidget *purchases = account->purchases();
        const QList<QListWidgetItem *> items = purchases->findItems(kNeonTitles, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        QTest::mouseClick(purchases->viewport(), Qt::LeftButton, {}, purchases->visualItemRect(items[0]).center());
        click(account->installPurchaseButton());
        EXPECT_EQ(model().activatedProductKey(), kPurchase) << "installed as the entitlement of its own run";
        ASSERT_TRUE(waitUntil([&] { return !model().isWorking(); }, kLong)) << model().installMessage().toStdString();
        EXPECT_EQ(model().activationInstallResults(), kNeonTitles + QStringLiteral("：✓ 安装完成，请重启 FCP。"));
        EXPECT_TRUE(QFileInfo(tree(QStringLiteral("Titles.localized/") + kNeonTitles)).isDir());
        EXPECT_EQ(preferences().value(record(InstallRecord::installReceipt, kPurchase)), true);
        EXPECT_EQ(preferences().value(record(InstallRecord::packageVersion, kPurchase)), QStringLiteral("1.0.0"));
        // The membership comes back: in the picker, the library's title and its rows.
        EXPECT_EQ(model().activatedProductKey(), kMembership);
        EXPECT_TRUE(waitUntil([&] {
            return account->membershipPicker()->currentText() == picked && library->title()->text() == title &&
                   productKeys() == rows;
        }, kLong)) << account->membershipPicker()->currentText().toStdString() << " " << library->title()->text().toStdString();
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().succeeded, QStringList{kNeonTitles});
        shot(QStringLiteral("17-purchase-installed"));
        closeSheet(content().locationGuideSheet());
    }

    void pickTheTemplateMembership() {
        QComboBox *picker = find<AccountPanel>()->membershipPicker();
        const int chosen = picker->findData(kTemplates);
        ASSERT_NE(chosen, picker->currentIndex());
        QTest::mouseClick(picker, Qt::LeftButton);
        QAbstractItemView *list = picker->view();
        ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
        shot(QStringLiteral("18-membership-picker"));
        // Chosen with the keys, the open list's own way.
        for (int row = list->currentIndex().row(); row != chosen; row += row < chosen ? 1 : -1) {
            QTest::keyClick(list, row < chosen ? Qt::Key_Down : Qt::Key_Up);
        }
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_FALSE(list->isVisible());
        EXPECT_EQ(model().activatedProductKey(), kTemplates);
        const QStringList library = libraryOf(kTemplates);
        ASSERT_TRUE(waitUntil([&] { return productKeys() == library; }, kLong)) << productKeys().join(u' ').toStdString();
        EXPECT_EQ(picker->currentIndex(), chosen);
    }

    void handATemplateToTheInstaller() {
        const qsizetype opened = world.workspace->openedFiles.size();
        clickRow(kTemplateBatch[0]);
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().pending, QStringList{kTemplateBatch[0]});
        EXPECT_EQ(model().installMessage(), QStringLiteral("✓ 已打开 macOS 安装器，请在系统窗口完成安装。"));
        ASSERT_EQ(world.workspace->openedFiles.size(), opened + 1);
        const QString managed = model().managedInstallerFolder();
        const QFileInfo package(world.workspace->openedFiles.last());
        EXPECT_EQ(package.absolutePath(), managed);
        EXPECT_TRUE(package.fileName().startsWith(QStringLiteral("Vrel-")) && package.fileName().endsWith(QStringLiteral("-FCP-1.pkg")))
            << package.fileName().toStdString();
        shot(QStringLiteral("19-template-handed-off"));
        // The package stays while the Installer installs from it, and goes with its folder once it has quit.
        ASSERT_TRUE(waitUntil([&] { return installerApp.running() == 0; }, kLong));
        EXPECT_EQ(installerApp.outcomes(), QStringList{QStringLiteral("安装成功。")});
        EXPECT_EQ(installerApp.packagesGoneBeforeQuitting(), QStringList());
        EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(managed); }, kLong)) << snapshot(managed).keys().join(u' ').toStdString();
        for (const QString &folder : kTemplateFolders.mid(0, 3)) {
            EXPECT_TRUE(QFileInfo(tree(folder)).isDir()) << folder.toStdString();
        }
        EXPECT_FALSE(preferences().contains(record(InstallRecord::installReceipt, QStringLiteral("fcp-template-wedding"))))
            << "installed outside the program";
        closeSheet(content().locationGuideSheet());
    }

    void installAllTemplates() {
        const ScriptedPrompts prompts;
        const qsizetype opened = world.workspace->openedFiles.size();
        const qsizetype asked = world.alerts->shown.size();
        click(find<BatchInstallBar>()->installAllButton());
        ASSERT_EQ(world.alerts->shown.size(), asked + 1);
        EXPECT_EQ(world.alerts->shown.last().messageText, QStringLiteral("一键安装全部FCP 模板"));
        EXPECT_TRUE(world.alerts->shown.last().informativeText.startsWith(
            QStringLiteral("将自动下载并安装 3 组模板，预计约 2–4 分钟，")))
            << world.alerts->shown.last().informativeText.toStdString();
        ASSERT_TRUE(waitUntil([&] { return !model().isBatchInstalling(); }, kLong)) << model().batchInstallStatus().toStdString();
        EXPECT_EQ(model().batchInstallStatus(), QStringLiteral("普通插件已自动安装；FCP 模板已交给系统"));
        EXPECT_EQ(model().installMessage(), QStringLiteral("✓ 普通插件已自动安装；请在 macOS 安装器完成 FCP 模板安装。"));
        EXPECT_EQ(prompts.scripts(), QStringList()) << "no administrator prompt: the Installer installs them all";
        // One package of each install group, named by its place in the batch, in one folder of the run's own.
        const QStringList handed = world.workspace->openedFiles.mid(opened);
        ASSERT_EQ(handed.size(), 3);
        const QString managed = model().managedInstallerFolder();
        for (int i = 0; i < handed.size(); ++i) {
            const QFileInfo package(handed[i]);
            EXPECT_EQ(package.fileName(), QStringLiteral("%1.pkg").arg(i + 1, 2, 10, QLatin1Char('0')));
            EXPECT_EQ(package.dir().dirName().left(5), QStringLiteral("批量安装-"));
            EXPECT_EQ(QFileInfo(package.absolutePath()).absolutePath(), managed);
        }
        InstallLocationGuide *guide = sheet<InstallLocationGuide>(content().locationGuideSheet());
        ASSERT_TRUE(guide);
        EXPECT_EQ(guide->summary().pending, kTemplateBatch);
        EXPECT_EQ(guide->summary().failures, QStringList());
        shot(QStringLiteral("20-template-batch-handed-off"));
        ASSERT_TRUE(waitUntil([&] { return installerApp.running() == 0; }, kLong));
        EXPECT_EQ(installerApp.outcomes().mid(1), QStringList(3, QStringLiteral("安装成功。")));
        EXPECT_EQ(installerApp.packagesGoneBeforeQuitting(), QStringList());
        EXPECT_TRUE(waitUntil([&] { return leftovers().isEmpty(); }, kLong)) << leftovers().join(u' ').toStdString();
        for (const QString &folder : kTemplateFolders) {
            EXPECT_TRUE(QFileInfo(tree(folder)).isDir()) << folder.toStdString();
        }
        closeSheet(content().locationGuideSheet());
    }

    void signOut() {
        AccountPanel *account = find<AccountPanel>();
        const ManagerSessionStore session(world.paths.applicationSupport);
        ASSERT_TRUE(session.readManagerToken()) << "kept while signed in";
        click(account->signOutButton());
        EXPECT_TRUE(waitUntil([&] { return account->signInButton()->isVisible(); }));
        EXPECT_FALSE(account->signOutButton()->isVisible());
        EXPECT_EQ(account->userName()->text(), QStringLiteral("微信账户"));
        EXPECT_EQ(account->message()->text(), QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。"));
        EXPECT_FALSE(account->membershipPicker()->isVisible());
        EXPECT_FALSE(account->purchases()->isVisible());
        EXPECT_FALSE(account->installPurchaseButton()->isVisible());
        MemberLibraryPanel *library = find<MemberLibraryPanel>();
        EXPECT_TRUE(waitUntil([&] { return productKeys().isEmpty(); }));
        EXPECT_EQ(library->title()->text(), QStringLiteral("会员插件库"));
        EXPECT_FALSE(library->refreshButton()->isEnabled());
        EXPECT_FALSE(session.readManagerToken());
        EXPECT_FALSE(model().hasWechatAccount());
        shot(QStringLiteral("21-signed-out"));
    }

    void expectOnlyTheRecordsLeft() {
        EXPECT_EQ(leftovers(), QStringList());
        // Every product of the batch has its records but the uninstalled one its receipt, and
        // the purchase has its own, under itself as the entitlement; the single installs also
        // recorded their folders for the account. The cancelled install, the resource, the
        // partner claim and the templates the Installer installed add no install record.
        const QString entitlement = record(InstallRecord::entitlementProducts, entitlementStorageKey(kMembership));
        const QString bought = record(InstallRecord::entitlementProducts, entitlementStorageKey(kPurchase));
        QStringList expected{record(InstallRecord::installedPaths, QString::fromLatin1(wechatAccountOwnerKey)), entitlement, bought};
        for (const QString &key : kBatch + QStringList{kPurchase}) {
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
        EXPECT_EQ(preferences().stringArray(bought), QStringList{kPurchase});
        EXPECT_EQ(preferences().stringArray(record(InstallRecord::productPaths, kPurchase)),
                  QStringList{tree(QStringLiteral("Titles.localized/") + kNeonTitles)});
        EXPECT_EQ(preferences().stringArray(record(InstallRecord::productPaths, kBatch[1])),
                  (QStringList{tree(QStringLiteral("Transitions.localized/") + kTransitionFolders[0]),
                               tree(QStringLiteral("Transitions.localized/") + kTransitionFolders[1])}));
    }

    // The service paces its packages: the large one takes a second, so that a pause or a stop
    // surely lands while it downloads.
    StudioServiceProcess service{QStringList{QStringLiteral("--throttle-bytes-per-second"), QString::number(16 << 20)}};
    TestWorld world;
    StandInInstallerApp installerApp{*world.workspace, world.paths.systemRoot};
    std::unique_ptr<QuillonApp> app;
};

} // namespace

TEST_F(TrialRun, WalksTheWholeRoadAsAUserDoes) {
    ASSERT_NO_FATAL_FAILURE(signInAndBrowse());
    ASSERT_NO_FATAL_FAILURE(installOneProduct());
    ASSERT_NO_FATAL_FAILURE(cancelTheAdministratorPrompt());
    ASSERT_NO_FATAL_FAILURE(claimCloudDriveDelivery());
    ASSERT_NO_FATAL_FAILURE(claimAPartnerProduct());
    ASSERT_NO_FATAL_FAILURE(downloadAResource());
    ASSERT_NO_FATAL_FAILURE(installAllWithAPause());
    ASSERT_NO_FATAL_FAILURE(stopAnInstallAllMidDownload());
    ASSERT_NO_FATAL_FAILURE(uninstallOnePlugin());
    ASSERT_NO_FATAL_FAILURE(repairTheDeliveredRuntime());
    ASSERT_NO_FATAL_FAILURE(installAPurchase());
    ASSERT_NO_FATAL_FAILURE(pickTheTemplateMembership());
    ASSERT_NO_FATAL_FAILURE(handATemplateToTheInstaller());
    ASSERT_NO_FATAL_FAILURE(installAllTemplates());
    ASSERT_NO_FATAL_FAILURE(signOut());
    expectOnlyTheRecordsLeft();
}
