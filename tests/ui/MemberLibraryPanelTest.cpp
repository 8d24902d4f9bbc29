// The member library rows, the progress card and the account's purchases, rendered
// offscreen against a model talking to the local service.
#include "core/AccountTestSupport.h"
#include "install/InstallFixtures.h"
#include "inventory/InstallRecords.h"
#include "ui/AccountPanel.h"
#include "ui/MemberLibraryPanel.h"
#include "ui/MemberProductButtons.h"
#include "ui/MemberProductList.h"
#include "ui/SingleInstallProgressCard.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kDownload = "/api/manager/download";

MemberProduct memberProduct(const QString &key, std::optional<QString> deliveryType = std::nullopt,
                            std::optional<QString> label = std::nullopt) {
    MemberProduct p;
    p.productKey = key;
    p.productName = key + QStringLiteral(" 名称");
    p.category = QStringLiteral("字幕");
    p.deliveryType = std::move(deliveryType);
    p.deliveryActionLabel = std::move(label);
    return p;
}

class MemberLibraryPanelTest : public AccountTest {
protected:
    void SetUp() override {
        world.timing.serviceRequestTimeout = std::chrono::seconds(30); // replies are held back here
        makeModel();
        signedIn(QStringLiteral("tok"), {QStringLiteral("m1"), QStringLiteral("全站会员"), QStringLiteral("all_site")});
        service.always(kDownload, ScriptedReply::json(403, std::string(R"({"error":"不可下载"})")));
        panel = std::make_unique<MemberLibraryPanel>(*model);
        panel->resize(640, 400);
        panel->show();
    }

    QStringList labels(int row) const {
        QStringList result;
        for (const MemberProductButton &button : panel->productRows()->buttons(row)) {
            result.append(button.label + (button.enabled ? QString() : QStringLiteral("(off)")));
        }
        return result;
    }
    QString state(int row) const {
        return panel->productRows()->index(row).data(MemberProductListModel::StateRole).toString();
    }
    /// The row's real button `button` (the row scrolled into view).
    QPushButton *rowButton(int row, int button) const {
        panel->products()->scrollTo(panel->productRows()->index(row));
        MemberProductButtons *buttons = panel->rowButtons(row);
        return buttons && button < buttons->buttons().size() ? buttons->buttons().at(button) : nullptr;
    }
    void click(int row, int button) {
        QPushButton *pressed = rowButton(row, button);
        ASSERT_NE(pressed, nullptr) << row << "/" << button;
        QTest::mouseClick(pressed, Qt::LeftButton);
    }
    /// Lets the views catch up with the model: each change travels through a few queued steps
    /// (the view's refresh, the rows, their buttons, the tab order), each one pass of the loop.
    /// Counted in passes, not in time, so a slow machine takes as many as a fast one.
    static void settled() {
        for (int pass = 0; pass < 8; ++pass) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
    static int darkest(const QImage &image) {
        int gray = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                gray = std::min(gray, qGray(image.pixel(x, y)));
            }
        }
        return gray;
    }
    QImage buttonImage(int row, int button) const { return rowButton(row, button)->grab().toImage(); }

    std::unique_ptr<MemberLibraryPanel> panel;
};

} // namespace

TEST_F(MemberLibraryPanelTest, EachRowShowsItsStateAndTheActionsThatFitAndAButtonStartsItsAction) {
    model->defaults().setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, QStringLiteral("up")), true);
    model->defaults().setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, QStringLiteral("up")), QStringLiteral("1.0"));
    model->defaults().setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, QStringLiteral("done")), true);
    model->recordClaimedPartnerActivationCode(QStringLiteral("CODE"), QStringLiteral("partner"));
    MemberProduct update = memberProduct(QStringLiteral("up"));
    update.packageVersion = QStringLiteral("2.0");
    model->setMemberProducts({memberProduct(QStringLiteral("new")), update, memberProduct(QStringLiteral("done")),
                              memberProduct(QStringLiteral("both"), QStringLiteral("hybrid")),
                              memberProduct(QStringLiteral("pan"), QStringLiteral("baidu_pan"), QStringLiteral("领取素材")),
                              memberProduct(QStringLiteral("partner"), QStringLiteral("partner_pool"))});
    settled();
    const std::vector<std::pair<QString, QStringList>> expected{
        {QStringLiteral("未安装"), {QStringLiteral("安装")}},
        {QStringLiteral("有更新"), {QStringLiteral("更新")}},
        {QStringLiteral("已安装"), {QStringLiteral("重新安装")}},
        {QStringLiteral("未安装"), {QStringLiteral("安装"), QStringLiteral("领取网盘内容")}},
        {QStringLiteral("未安装"), {QStringLiteral("领取素材")}},
        {QStringLiteral("未安装"), {QStringLiteral("领取"), QStringLiteral("查看激活码")}},
    };
    ASSERT_EQ(panel->productRows()->rowCount(), int(expected.size()));
    for (int row = 0; row < int(expected.size()); ++row) {
        EXPECT_EQ(state(row), expected[row].first) << row;
        EXPECT_EQ(labels(row), expected[row].second) << row;
        EXPECT_EQ(panel->productRows()->index(row).data(MemberProductListModel::CategoryRole), QStringLiteral("字幕"));
    }
    EXPECT_FALSE(panel->grab().isNull()); // every kind of row paints

    const QImage install = buttonImage(0, 0);
    const QImage code = buttonImage(5, 1);
    service.then(kDownload, ScriptedReply::json(403, std::string(R"({"error":"不可下载"})")).heldBack());
    click(3, 1); // the hybrid product's cloud-drive supplement
    EXPECT_TRUE(model->isWorking());
    EXPECT_EQ(model->installingProductKey(), QStringLiteral("both__supplement__"));
    settled();
    EXPECT_EQ(state(3), QStringLiteral("正在领取…"));
    EXPECT_EQ(labels(0), QStringList{QStringLiteral("安装(off)")});
    EXPECT_EQ(labels(5), (QStringList{QStringLiteral("领取(off)"), QStringLiteral("查看激活码")}));
    EXPECT_GT(darkest(buttonImage(0, 0)), darkest(install) + 40) << "a button that does nothing now has greyed text";
    EXPECT_EQ(buttonImage(5, 1), code);
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    EXPECT_EQ(bodyOf(service.requestsTo(kDownload).back()).value(QStringLiteral("deliveryMode")), QStringLiteral("supplement"));

    settled();
    click(5, 1); // the stored partner code
    ASSERT_EQ(world.alerts->shown.size(), 1);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("CODE"));
    click(0, 0);
    ASSERT_TRUE(waitUntil([&] { return service.count(kDownload) == 2; }));
}

TEST_F(MemberLibraryPanelTest, ADownloadsProgressChangesOneRowAndKeepsTheSelectionAndTheScrollPosition) {
    QList<MemberProduct> products;
    for (int i = 0; i < 80; ++i) {
        products.append(memberProduct(QStringLiteral("p%1").arg(i)));
    }
    model->setMemberProducts(products);
    settled();
    QListView *view = panel->products();
    view->setCurrentIndex(panel->productRows()->index(50));
    view->scrollTo(panel->productRows()->index(50));
    const int scrolled = view->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    model->setIsWorking(true);
    model->setInstallingProductKey(QStringLiteral("p50"));
    model->setShowsSingleInstallProgress(true);
    model->setSingleInstallShowsPercent(true);
    model->setSingleInstallStage(QStringLiteral("正在下载 p50 名称…"));
    settled();

    QSignalSpy changed(panel->productRows(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(panel->productRows(), &QAbstractItemModel::modelReset);
    for (const double fraction : {0.1, 0.25, 0.42}) {
        model->setSingleInstallProgress(fraction);
        settled();
    }
    EXPECT_EQ(state(50), QStringLiteral("正在下载 42%"));
    EXPECT_EQ(panel->progressCard()->bar()->value(), 42);
    EXPECT_EQ(panel->progressCard()->stage()->text(), QStringLiteral("正在下载 p50 名称…"));
    EXPECT_FALSE(panel->progressCard()->isHidden());
    ASSERT_EQ(changed.size(), 3);
    for (const QList<QVariant> &signal : changed) {
        EXPECT_EQ(signal.at(0).toModelIndex().row(), 50);
        EXPECT_EQ(signal.at(1).toModelIndex().row(), 50);
    }
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(view->currentIndex().row(), 50);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(50, {}));
    EXPECT_EQ(view->verticalScrollBar()->value(), scrolled);

    model->setSingleInstallShowsPercent(false);
    model->setSingleInstallCompleted(true);
    model->setSingleInstallStage(QStringLiteral("安装完成，请重启 FCP"));
    settled();
    EXPECT_EQ(panel->progressCard()->stage()->text(), QStringLiteral("✓ 安装完成，请重启 FCP"));
}

TEST_F(MemberLibraryPanelTest, TheAccountsPurchasesInstallFromTheAccountPanelWhichABusyModelLocks) {
    const ManagerLicense membership{QStringLiteral("m1"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    const ManagerLicense bought{QStringLiteral("b1"), QStringLiteral("光效插件"), QStringLiteral("plugin")};
    model->setAccountPurchases({membership, bought});
    AccountPanel account(*model);
    account.show();
    ASSERT_EQ(account.purchases()->count(), 1);
    EXPECT_EQ(account.purchases()->item(0)->text(), QStringLiteral("光效插件"));
    EXPECT_FALSE(account.installPurchaseButton()->isEnabled());
    account.purchases()->setCurrentRow(0);
    ASSERT_TRUE(account.installPurchaseButton()->isEnabled());

    service.then(kDownload, ScriptedReply::json(403, std::string(R"({"error":"不可下载"})")).heldBack());
    account.installPurchaseButton()->click();
    settled();
    for (QWidget *control : std::initializer_list<QWidget *>{account.installPurchaseButton(), account.signOutButton(),
                                                             account.syncButton(), account.membershipPicker()}) {
        EXPECT_FALSE(control->isEnabled());
    }
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    EXPECT_EQ(bodyOf(service.requestsTo(kDownload).back()).value(QStringLiteral("productKey")), QStringLiteral("b1"));
}

TEST_F(MemberLibraryPanelTest, TheRowsButtonsAreButtonsThatTakeTheFocusInTurnAndActOnSpaceAndEnter) {
    model->recordClaimedPartnerActivationCode(QStringLiteral("CODE"), QStringLiteral("partner"));
    model->setMemberProducts({memberProduct(QStringLiteral("one")), memberProduct(QStringLiteral("both"), QStringLiteral("hybrid")),
                              memberProduct(QStringLiteral("partner"), QStringLiteral("partner_pool"), QStringLiteral("领取&激活"))});
    settled();
    EXPECT_EQ(panel->visibleRowButtons()->count(), 3) << "the rows got their buttons as they came";
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    QListView *view = panel->products();
    view->setFocus(Qt::TabFocusReason);

    // From the list Tab walks each row's buttons in turn; the row of the focused button is the current one.
    QStringList order;
    QList<int> rows;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto *button = qobject_cast<QPushButton *>(QApplication::focusWidget());
        ASSERT_NE(button, nullptr) << i;
        rows.append(view->currentIndex().row());
        // Screen readers name it by its text, the service's label as it stands ("&" marks no key).
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::Button);
        order.append(accessible->text(QAccessible::Name));
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("安装"), QStringLiteral("安装"), QStringLiteral("领取网盘内容"),
                                  QStringLiteral("领取&激活"), QStringLiteral("查看激活码")}));
    EXPECT_EQ(rows, (QList<int>{0, 1, 1, 2, 2}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A);
    EXPECT_TRUE(world.alerts->shown.isEmpty()) << "other keys press nothing";

    // Space presses the focused button (the stored partner code), Enter too (the cloud-drive supplement).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EQ(world.alerts->shown.size(), 1);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("CODE"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(qobject_cast<QPushButton *>(QApplication::focusWidget()), rowButton(1, 1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(model->installingProductKey(), QStringLiteral("both__supplement__"));
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    settled();

    // A button that appears later (a partner code claimed) takes its turn after its row's others.
    model->recordClaimedPartnerActivationCode(QStringLiteral("C2"), QStringLiteral("one"));
    settled();
    const QList<QPushButton *> first = panel->visibleRowButtons()->buttonsOf(0)->buttons();
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first.at(1)->text(), QStringLiteral("查看激活码"));
    first.at(0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), first.at(1));

    // Tab in the list goes to the current row's buttons.
    view->setFocus(Qt::TabFocusReason);
    view->setCurrentIndex(panel->productRows()->index(2));
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), rowButton(2, 0));
}

TEST_F(MemberLibraryPanelTest, AFiveHundredRowLibraryHasButtonsOnlyOnTheRowsOnScreen) {
    QList<MemberProduct> products;
    for (int i = 0; i < 500; ++i) {
        products.append(memberProduct(QStringLiteral("p%1").arg(i)));
    }
    model->setMemberProducts(products);
    settled();
    QListView *view = panel->products();
    VisibleRowButtons *buttons = panel->visibleRowButtons();
    const int onScreen = view->viewport()->height() / view->sizeHintForRow(0) + 1;
    ASSERT_GT(buttons->count(), 0);
    EXPECT_LE(buttons->count(), onScreen + 2) << "the rows on screen and one beyond each end";
    EXPECT_NE(buttons->buttonsOf(0), nullptr);
    EXPECT_EQ(buttons->buttonsOf(450), nullptr);

    view->scrollTo(panel->productRows()->index(450), QAbstractItemView::PositionAtTop);
    ASSERT_NE(buttons->buttonsOf(450), nullptr);
    const int lastShown = view->indexAt(QPoint(view->viewport()->width() / 2, view->viewport()->height() - 1)).row();
    QPointer<MemberProductButtons> above = buttons->buttonsOf(449);
    EXPECT_TRUE(above && buttons->buttonsOf(lastShown + 1)) << "one row beyond each end has its buttons";
    buttons->update();
    EXPECT_EQ(buttons->buttonsOf(449), above.data()) << "a row's buttons stay while it is on screen";
    EXPECT_EQ(buttons->buttonsOf(0), nullptr);
    EXPECT_LE(buttons->count(), onScreen + 2);
    // Tab from the last row on screen walks on into the next one, which scrolls into view.
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    const int bottom = view->indexAt(QPoint(view->viewport()->width() / 2, view->viewport()->height() - 1)).row();
    ASSERT_GT(bottom, 450);
    ASSERT_LT(bottom, 499);
    rowButton(bottom, 0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), buttons->buttonsOf(bottom + 1)->buttons().first());
    EXPECT_EQ(view->currentIndex().row(), bottom + 1);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(view->currentIndex())));
    EXPECT_LE(buttons->count(), onScreen + 2);

    // A row's buttons follow its state.
    model->setIsWorking(true);
    model->setInstallingProductKey(QStringLiteral("p450"));
    settled();
    EXPECT_EQ(state(450), QStringLiteral("正在处理…"));
    EXPECT_FALSE(buttons->buttonsOf(450)->buttons().first()->isEnabled());
}
