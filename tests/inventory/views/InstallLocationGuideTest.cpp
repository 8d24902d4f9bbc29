#include "inventory/views/FCPInterfaceDiagram.h"
#include "inventory/views/GuideButtons.h"
#include "inventory/views/GuideStyle.h"
#include "inventory/views/GuideSymbols.h"
#include "inventory/views/InstallLocationGuide.h"
#include "inventory/views/PixelSupport.h"
#include "support/Wait.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::at;
using quillon::test::near;
using quillon::test::over;

namespace {

InstallLocationSummary browseWithoutEntries() {
    InstallLocationSummary summary;
    summary.isBrowsing = true;
    return summary;
}

InstallLocationSummary failuresOnly() {
    InstallLocationSummary summary;
    summary.failures = {QStringLiteral("Vrel 光效：安装未完成，请重试。")};
    return summary;
}

InstallLocationSummary pendingOnly() {
    InstallLocationSummary summary;
    summary.pending = {QStringLiteral("Vrel 模板包"), QStringLiteral("Vrel 字幕包")};
    summary.isBatch = true;
    return summary;
}

/// Twelve folders over the four categories, all installed.
InstallLocationSummary successInSeveralCategories() {
    return InstallLocationSummary::preview();
}

InstallLocationSummary browse(const QList<InstallLocationEntry> &entries) {
    InstallLocationSummary summary;
    for (const InstallLocationEntry &entry : entries) {
        summary.record(entry.folder, {entry});
    }
    summary.isBrowsing = true;
    return summary;
}

/// Lets rebuilt pages replace the old ones for good.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList labelTexts(const QWidget &widget) {
    settle();
    QStringList texts;
    for (const QLabel *label : widget.findChildren<QLabel *>()) {
        texts.append(label->text());
    }
    return texts;
}

template <typename T = QWidget>
T *part(const QWidget &widget, const char *name) {
    settle();
    return widget.findChild<T *>(QLatin1String(name));
}

QList<guide::PillButton *> tabs(const QWidget &guideView) {
    const QWidget *row = part(guideView, "tabs");
    return row == nullptr ? QList<guide::PillButton *>{} : row->findChildren<guide::PillButton *>();
}

/// The guide as the sheet shows it: on screen, on its own background, at its own fixed size.
QImage render(InstallLocationGuide &view) {
    view.show();
    settle();
    QCoreApplication::processEvents();
    return test::rendered(view, {}, 2, QWidget::DrawWindowBackground | QWidget::DrawChildren);
}

/// A point of `child` in the guide's coordinates.
QPointF inGuide(const QWidget &view, const QWidget &child, QPointF local) {
    return QPointF(child.mapTo(&view, QPoint(0, 0))) + local;
}

QColor surfaceUnder(const QColor &colour) {
    return over(colour, guide::surface());
}

struct Closer {
    int calls = 0;
    InstallLocationGuide::Action action() {
        return [this] { ++calls; };
    }
};

} // namespace

TEST(InstallLocationGuide, BrowseWithoutEntriesOpensOnTheLocationPageWithTheEmptyText) {
    Closer closer;
    InstallLocationGuide view(browseWithoutEntries(), std::nullopt, closer.action());
    const QImage image = render(view);

    EXPECT_TRUE(view.showsLocation());
    EXPECT_EQ(view.width(), 620);
    EXPECT_EQ(image.width(), 1240);
    EXPECT_EQ(part<QLabel>(view, "title")->text(), QStringLiteral("插件位置"));
    EXPECT_EQ(part(view, "status"), nullptr) << "no status symbol on the location page";
    EXPECT_TRUE(tabs(view).isEmpty());
    EXPECT_EQ(view.findChild<FCPInterfaceDiagram *>(), nullptr);
    const auto *empty = part<QLabel>(view, "empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->text(), QStringLiteral("暂未找到插件位置，请在已安装插件中刷新后查看。"));
    const QPoint top = empty->mapTo(&view, QPoint(0, 0));
    const int headerBottom = part(view, "header")->mapTo(&view, QPoint(0, part(view, "header")->height())).y();
    EXPECT_EQ(top.y() - headerBottom, 22 + 30) << "30 points above, after the stack's spacing";
    EXPECT_EQ(view.footerButton()->mapTo(&view, QPoint(0, 0)).y() - (top.y() + empty->height()), 30 + 22)
        << "and 30 below";

    guide::PillButton *footer = view.footerButton();
    EXPECT_EQ(footer->text(), QStringLiteral("知道了"));
    EXPECT_EQ(footer->width(), 620 - 2 * 28);
    EXPECT_TRUE(near(at(image, inGuide(view, *footer, {12, 12}).x(), inGuide(view, *footer, {12, 12}).y()),
                     guide::accent()));
    EXPECT_TRUE(near(at(image, 5, 5), guide::surface())) << "the sheet's background";
}

TEST(InstallLocationGuide, FailuresOnlyShowRedStatusSelectableLinesAndGoBack) {
    Closer closer;
    InstallLocationGuide view(failuresOnly(), std::nullopt, closer.action());
    const QImage image = render(view);

    EXPECT_FALSE(view.showsLocation());
    EXPECT_EQ(view.width(), 520);
    EXPECT_EQ(part<QLabel>(view, "title")->text(), QStringLiteral("未能安装"));
    auto *status = part<guide::SymbolView>(view, "status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->symbol(), guide::Symbol::exclamationmarkCircle);
    // The ring of the symbol is red.
    const QPointF ring = inGuide(view, *status, {status->width() / 2.0, status->height() / 2.0 - status->width() * 0.44});
    EXPECT_TRUE(near(at(image, ring.x(), ring.y()), guide::red(), 40));

    const QStringList texts = labelTexts(view);
    EXPECT_TRUE(texts.contains(QStringLiteral("Vrel 光效：安装未完成，请重试。")));
    EXPECT_FALSE(texts.contains(QStringLiteral("请重启 FCP")));
    for (const QLabel *label : view.findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("Vrel 光效：安装未完成，请重试。")) {
            EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        }
    }
    EXPECT_EQ(part(view, "showLocations"), nullptr) << "nothing to locate";

    guide::PillButton *footer = view.footerButton();
    EXPECT_EQ(footer->text(), QStringLiteral("返回修改"));
    EXPECT_EQ(footer->textColour(), QColor(Qt::white));
    const QPointF corner = inGuide(view, *footer, {12, 12});
    EXPECT_TRUE(near(at(image, corner.x(), corner.y()), surfaceUnder(guide::white(0.15)), 3));
}

TEST(InstallLocationGuide, PendingOnlyShowGrayStatusAndTheInstallerLines) {
    Closer closer;
    InstallLocationGuide view(pendingOnly(), std::nullopt, closer.action());
    const QImage image = render(view);

    EXPECT_EQ(part<QLabel>(view, "title")->text(), QStringLiteral("请完成系统安装"));
    auto *status = part<guide::SymbolView>(view, "status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->symbol(), guide::Symbol::exclamationmarkCircle);
    EXPECT_EQ(status->colour(), guide::gray());
    const QStringList texts = labelTexts(view);
    EXPECT_TRUE(texts.contains(QStringLiteral("Vrel 模板包：已打开 macOS 安装器，请在系统窗口完成安装。")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Vrel 字幕包：已打开 macOS 安装器，请在系统窗口完成安装。")));
    EXPECT_EQ(part(view, "problems")->height(), 144);

    guide::PillButton *footer = view.footerButton();
    EXPECT_EQ(footer->text(), QStringLiteral("知道了"));
    EXPECT_EQ(footer->textColour(), QColor(Qt::white));
    const QPointF corner = inGuide(view, *footer, {12, 12});
    EXPECT_TRUE(near(at(image, corner.x(), corner.y()), surfaceUnder(guide::white(0.15)), 3));
}

TEST(InstallLocationGuide, SuccessShowsNamesRestartHintAndLeadsToTheLocations) {
    Closer closer;
    InstallLocationGuide view(successInSeveralCategories(), std::nullopt, closer.action());
    QImage image = render(view);

    EXPECT_EQ(view.width(), 520);
    EXPECT_EQ(part<QLabel>(view, "title")->text(), QStringLiteral("安装成功"));
    auto *status = part<guide::SymbolView>(view, "status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->symbol(), guide::Symbol::checkmarkCircleFill);
    const QPointF disc = inGuide(view, *status, {status->width() * 0.2, status->height() / 2.0});
    EXPECT_TRUE(near(at(image, disc.x(), disc.y()), guide::accent(), 6)) << "a lime disc";
    EXPECT_EQ(part(view, "succeeded")->height(), 90);
    const QStringList texts = labelTexts(view);
    EXPECT_TRUE(texts.contains(QStringLiteral("Vrel 电影字幕")));
    EXPECT_TRUE(texts.contains(QStringLiteral("请重启 FCP")));
    EXPECT_TRUE(texts.contains(QStringLiteral("完全退出 Final Cut Pro 后重新打开，加载新插件。")));
    EXPECT_EQ(part(view, "problems"), nullptr);
    const QPointF corner = inGuide(view, *view.footerButton(), {12, 12});
    EXPECT_TRUE(near(at(image, corner.x(), corner.y()), guide::accent()));

    auto *locations = part<QAbstractButton>(view, "showLocations");
    ASSERT_NE(locations, nullptr);
    EXPECT_EQ(locations->text(), QStringLiteral("查看插件位置"));
    locations->click();
    settle();
    image = render(view);

    EXPECT_TRUE(view.showsLocation());
    EXPECT_EQ(view.width(), 620) << "the sheet widens for the schematic";
    EXPECT_GT(view.height(), 2 * 28 + 500) << "and grows to hold the new page";
    EXPECT_EQ(part<QLabel>(view, "title")->text(), QStringLiteral("插件位置"));
    EXPECT_EQ(part(view, "status"), nullptr);
    EXPECT_EQ(closer.calls, 0);

    // Four tabs; the first category is shown and its tab is black on lime.
    const QList<guide::PillButton *> row = tabs(view);
    ASSERT_EQ(row.size(), 4);
    QStringList words;
    for (guide::PillButton *tab : row) {
        words.append(tab->text());
    }
    EXPECT_EQ(words, (QStringList{QStringLiteral("字幕"), QStringLiteral("发生器"), QStringLiteral("效果"),
                                  QStringLiteral("转场")}));
    EXPECT_EQ(view.category(), FCPLocation::titles);
    const QPointF first = inGuide(view, *row[0], {3, row[0]->height() / 2.0});
    const QPointF second = inGuide(view, *row[1], {3, row[1]->height() / 2.0});
    EXPECT_TRUE(near(at(image, first.x(), first.y()), guide::accent()));
    EXPECT_EQ(row[0]->textColour(), QColor(Qt::black));
    EXPECT_TRUE(near(at(image, second.x(), second.y()), surfaceUnder(guide::white(0.07)), 3));
    EXPECT_EQ(row[1]->textColour(), guide::white(0.7));

    auto *diagram = view.findChild<FCPInterfaceDiagram *>();
    ASSERT_NE(diagram, nullptr);
    EXPECT_EQ(diagram->category(), FCPLocation::titles);
    EXPECT_EQ(diagram->height(), 500);
    EXPECT_EQ(diagram->width(), 564);
    EXPECT_EQ(diagram->folders().size(), 6);

    // Six title folders: the list is shown, 72 points high, and scrolls.
    auto *folders = part<QScrollArea>(view, "folders");
    ASSERT_NE(folders, nullptr);
    EXPECT_EQ(folders->height(), 72);
    EXPECT_GT(folders->verticalScrollBar()->maximum(), 0);

    // Pressing a tab shows its category.
    row[2]->click();
    settle();
    image = render(view);
    EXPECT_EQ(view.selected(), FCPLocation::effects);
    EXPECT_EQ(view.findChild<FCPInterfaceDiagram *>()->category(), FCPLocation::effects);
    const QList<guide::PillButton *> after = tabs(view);
    const QPointF effectsTab = inGuide(view, *after[2], {3, after[2]->height() / 2.0});
    const QPointF titlesTab = inGuide(view, *after[0], {3, after[0]->height() / 2.0});
    EXPECT_TRUE(near(at(image, effectsTab.x(), effectsTab.y()), guide::accent()));
    EXPECT_TRUE(near(at(image, titlesTab.x(), titlesTab.y()), surfaceUnder(guide::white(0.07)), 3));
    // And the schematic switches to the timeline view: step 1 framed at x 445.
    const FCPInterfaceDiagram *effects = view.findChild<FCPInterfaceDiagram *>();
    const QPointF frame =
        inGuide(view, *effects, effects->schematicRect().topLeft() + QPointF(445.2, 60) * effects->schematicScale());
    EXPECT_TRUE(near(at(image, frame.x(), frame.y()), guide::accent(), 40));
}

TEST(InstallLocationGuide, ListsShowWholeLinesUpToTheirCapThenScroll) {
    // The box's height and whether it scrolls, for a summary rendered as on screen.
    const auto box = [](const InstallLocationSummary &summary, const char *name) {
        InstallLocationGuide view(summary, std::nullopt, [] {});
        render(view);
        const auto *list = part<QScrollArea>(view, name);
        return std::pair{list->height(), list->verticalScrollBar()->maximum() > 0};
    };
    const auto succeeded = [&](int count) {
        InstallLocationSummary summary;
        for (int i = 0; i < count; ++i) {
            summary.record(QStringLiteral("Vrel 插件 %1").arg(i), {});
        }
        return box(summary, "succeeded");
    };
    EXPECT_EQ(succeeded(1), std::pair(23, false));
    const auto [three, threeScrolls] = succeeded(3);
    EXPECT_GE(three, 69);
    EXPECT_LT(three, 90);
    EXPECT_FALSE(threeScrolls) << "three names are shown whole";
    EXPECT_EQ(succeeded(4), std::pair(90, true));

    const auto problems = [&](int failures, int pending, int length = 1) {
        InstallLocationSummary summary;
        for (int i = 0; i < failures; ++i) {
            summary.failures.append(QStringLiteral("Vrel %1：").arg(i) + QStringLiteral("安装未完成，请重试。").repeated(length));
        }
        for (int i = 0; i < pending; ++i) {
            summary.pending.append(QStringLiteral("Vrel 包 %1").arg(i));
        }
        return box(summary, "problems");
    };
    EXPECT_EQ(problems(1, 1), std::pair(144, false));
    EXPECT_EQ(problems(3, 0), std::pair(216, false));
    EXPECT_EQ(problems(2, 2).first, 220);
    EXPECT_EQ(problems(0, 7), std::pair(220, true));
    const auto [wrapped, wrappedScrolls] = problems(1, 0, 10);
    EXPECT_GT(wrapped, 72) << "a long failure takes the lines it wraps into";
    EXPECT_FALSE(wrappedScrolls);
}

TEST(InstallLocationGuide, OneCategoryHasNoTabsAndOneFolderNoList) {
    InstallLocationGuide one(browse({{FCPLocation::transitions, QStringLiteral("Vrel 无缝转场")}}), std::nullopt, [] {});
    EXPECT_TRUE(tabs(one).isEmpty());
    ASSERT_NE(one.findChild<FCPInterfaceDiagram *>(), nullptr);
    EXPECT_EQ(one.findChild<FCPInterfaceDiagram *>()->category(), FCPLocation::transitions);
    EXPECT_EQ(part(one, "folders"), nullptr);

    InstallLocationGuide two(browse({{FCPLocation::generators, QStringLiteral("Vrel 渐变背景")},
                                     {FCPLocation::generators, QStringLiteral("Vrel 光斑背景")}}),
                             std::nullopt, [] {});
    render(two);
    EXPECT_TRUE(tabs(two).isEmpty());
    auto *folders = part<QScrollArea>(two, "folders");
    ASSERT_NE(folders, nullptr);
    EXPECT_LE(folders->height(), 72);
    EXPECT_EQ(folders->verticalScrollBar()->maximum(), 0) << "two lines fit " << folders->viewport()->height();
    QStringList lines;
    for (const QLabel *label : folders->widget()->findChildren<QLabel *>()) {
        lines.append(label->text());
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
    }
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Vrel 光斑背景"), QStringLiteral("Vrel 渐变背景")}));
}

TEST(InstallLocationGuide, AnInitialCategoryWithoutEntriesIsShownWithNoTabHighlighted) {
    InstallLocationGuide view(browse({{FCPLocation::titles, QStringLiteral("Vrel 电影字幕")},
                                      {FCPLocation::generators, QStringLiteral("Vrel 渐变背景")}}),
                              FCPLocation::effects, [] {});
    const QImage image = render(view);
    EXPECT_EQ(view.category(), FCPLocation::effects);
    EXPECT_TRUE(view.rows().isEmpty());
    auto *diagram = view.findChild<FCPInterfaceDiagram *>();
    ASSERT_NE(diagram, nullptr);
    EXPECT_EQ(diagram->category(), FCPLocation::effects);
    EXPECT_TRUE(diagram->folders().isEmpty());
    EXPECT_EQ(part(view, "folders"), nullptr);
    const QList<guide::PillButton *> row = tabs(view);
    ASSERT_EQ(row.size(), 2);
    for (guide::PillButton *tab : row) {
        const QPointF p = inGuide(view, *tab, {3, tab->height() / 2.0});
        EXPECT_TRUE(near(at(image, p.x(), p.y()), surfaceUnder(guide::white(0.07)), 3));
    }
}

TEST(InstallLocationGuide, HeaderButtonFooterAndEscapeAllClose) {
    Closer closer;
    InstallLocationGuide view(successInSeveralCategories(), std::nullopt, closer.action());
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    auto *close = part<QAbstractButton>(view, "close");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->toolTip(), QStringLiteral("关闭"));
    EXPECT_EQ(close->focusPolicy(), Qt::TabFocus) << "Tab reaches it; a click leaves the focus where it was";
    close->click();
    EXPECT_EQ(closer.calls, 1);

    view.footerButton()->click();
    EXPECT_EQ(closer.calls, 2);

    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return closer.calls == 3; }));

    // Still so on the location page.
    view.showLocation();
    settle();
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return closer.calls == 4; }));
    EXPECT_EQ(view.summary(), successInSeveralCategories()) << "the guide never changes the summary";
}

TEST(InstallLocationGuide, WritesReferenceRendersOfEachSummaryKind) {
    const QDir folder = test::referenceRenderFolder();
    const std::pair<const char *, InstallLocationSummary> kinds[] = {
        {"guide-browse-without-entries", browseWithoutEntries()},
        {"guide-failures-only", failuresOnly()},
        {"guide-pending-only", pendingOnly()},
        {"guide-success-several-categories", successInSeveralCategories()},
    };
    for (const auto &[name, summary] : kinds) {
        InstallLocationGuide view(summary, std::nullopt, [] {});
        const QString path = folder.filePath(QLatin1String(name) + QStringLiteral(".png"));
        ASSERT_TRUE(render(view).save(path)) << path.toStdString();
        if (!view.showsLocation() && !summary.entries.isEmpty()) {
            view.showLocation();
            settle();
            const QString locations = folder.filePath(QLatin1String(name) + QStringLiteral("-locations.png"));
            ASSERT_TRUE(render(view).save(locations));
            EXPECT_EQ(QImage(locations).width(), 1240);
        }
    }
}

TEST(InstallLocationGuide, ItsButtonsTakeTheFocusInTurnAndActOnSpaceAndEnter) {
    Closer closer;
    InstallLocationGuide view(successInSeveralCategories(), std::nullopt, closer.action());
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    auto focusedName = [] {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
        return accessible != nullptr && accessible->role() == QAccessible::Button ? accessible->text(QAccessible::Name) : QString();
    };
    auto press = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        settle();
    };

    // The guide opens with no button in focus: a stray Enter presses nothing.
    press(Qt::Key_Return);
    EXPECT_EQ(closer.calls, 0);
    EXPECT_FALSE(view.showsLocation());

    // Tab walks the buttons (and the lists, which scroll with the keys) in turn.
    QStringList order;
    for (int i = 0; i < 8 && !order.contains(QStringLiteral("知道了")); ++i) {
        press(Qt::Key_Tab);
        if (!focusedName().isEmpty()) {
            order.append(focusedName());
        }
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("关闭"), QStringLiteral("查看插件位置"), QStringLiteral("知道了")}));

    // Enter on 查看插件位置 opens the location page, with the focus on the shown category's tab.
    for (int i = 0; i < 8 && focusedName() != QStringLiteral("查看插件位置"); ++i) {
        press(Qt::Key_Backtab);
    }
    ASSERT_EQ(focusedName(), QStringLiteral("查看插件位置"));
    press(Qt::Key_Return);
    ASSERT_TRUE(view.showsLocation());
    const QList<guide::PillButton *> shownTabs = tabs(view);
    ASSERT_GE(shownTabs.size(), 2);
    EXPECT_EQ(focusedName(), rawValue(*view.category()));

    // Tab to the next category and Space shows it; the focus stays on its tab.
    press(Qt::Key_Tab);
    const QString next = focusedName();
    ASSERT_FALSE(next.isEmpty());
    EXPECT_EQ(next, shownTabs.at(1)->text());
    press(Qt::Key_Space);
    ASSERT_TRUE(view.category());
    EXPECT_EQ(rawValue(*view.category()), next);
    EXPECT_EQ(focusedName(), next);

    // The footer answers Enter.
    for (int i = 0; i < 8 && focusedName() != QStringLiteral("知道了"); ++i) {
        press(Qt::Key_Tab);
    }
    press(Qt::Key_Return);
    EXPECT_EQ(closer.calls, 1);
}

TEST(InstallLocationGuide, ARingShowsWhereTabPutTheFocusAndAClickTakesNone) {
    Closer closer;
    InstallLocationGuide view(browse({{FCPLocation::titles, QStringLiteral("Vrel 字幕")}, {FCPLocation::effects, QStringLiteral("Vrel 光效")}}),
                              std::nullopt, closer.action());
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    ASSERT_EQ(tabs(view).size(), 2);
    guide::PillButton *second = tabs(view).at(1);
    const QImage plain = second->grab().toImage();

    second->setFocus(Qt::TabFocusReason);
    EXPECT_NE(second->grab().toImage(), plain) << "a ring around the button Tab reached";
    QTest::keyClick(second, Qt::Key_A);
    EXPECT_EQ(view.category(), FCPLocation::titles) << "other keys press nothing";
    view.setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(second->grab().toImage(), plain) << "no ring once the focus has gone";
    second->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_EQ(second->grab().toImage(), plain) << "no ring where the focus came without the keyboard";

    // A click shows the category and leaves the focus where it was.
    view.setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(second, Qt::LeftButton);
    settle();
    EXPECT_EQ(view.category(), FCPLocation::effects);
    EXPECT_EQ(QApplication::focusWidget(), &view);
}
