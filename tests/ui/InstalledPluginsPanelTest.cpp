#include "model/PluginManager.h"
#include "support/ShownText.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/InstalledPluginsPanel.h"
#include "ui/SheetBinding.h"

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized");

void click(QMessageBox *box, const QString &button) {
    ASSERT_NE(box, nullptr);
    for (QAbstractButton *b : box->buttons()) {
        if (b->text() == button) {
            b->click();
            return;
        }
    }
    FAIL() << "no button " << button.toStdString();
}

QStringList rows(const QListWidget *list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i) {
        result.append(list->item(i)->text());
    }
    return result;
}

} // namespace

class InstalledPluginsPanelTest : public ::testing::Test {
protected:
    InstalledPluginsPanelTest() { world.makeFolder(userTree + "/Titles.localized/Vrel 字幕"); }

    test::TestWorld world;
    PluginManager model{world.environment()};
    InstalledPluginsPanel panel{model};
};

TEST_F(InstalledPluginsPanelTest, ListsTheInstalledPluginsAndRescans) {
    // The model scanned when it was made, before the fixture made the folder.
    EXPECT_TRUE(rows(panel.pluginList()).isEmpty());
    model.refreshInstalledPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 1; }));
    EXPECT_EQ(rows(panel.pluginList()), QStringList{"字幕 · Vrel 字幕"});

    world.makeFolder(userTree + "/Effects.localized/Vrel Glow");
    world.makeFolder(userTree + "/Effects.localized/Other Maker");
    panel.rescanButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 2; }));
    EXPECT_EQ(rows(panel.pluginList()), (QStringList{"字幕 · Vrel 字幕", "效果 · Vrel Glow"}));
    EXPECT_EQ(test::shownToolTip(panel.pluginList()->item(1)->toolTip()), world.path(userTree + "/Effects.localized/Vrel Glow"));
}

TEST_F(InstalledPluginsPanelTest, TheLocationOfTheSelectedPlugin) {
    world.makeFolder(userTree + "/Effects.localized/Vrel Glow.localized");
    panel.rescanButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 2; }));
    EXPECT_FALSE(panel.locationButton()->isEnabled());

    panel.pluginList()->setCurrentRow(1);
    EXPECT_TRUE(panel.locationButton()->isEnabled());
    panel.locationButton()->click();
    EXPECT_TRUE(model.showLocationGuide());
    EXPECT_EQ(model.locationSummary().succeeded, QStringList{"Vrel Glow.localized"});
    ASSERT_EQ(model.locationSummary().entries.size(), 1);
    EXPECT_EQ(model.locationSummary().entries.first().id(), "效果::Vrel Glow");
    EXPECT_TRUE(model.locationSummary().isBrowsing);
}

TEST_F(InstalledPluginsPanelTest, AllLocations) {
    world.makeFolder(userTree + "/Transitions.localized/Vrel Swipe");
    panel.allLocationsButton()->click();
    EXPECT_TRUE(model.showLocationGuide());
    EXPECT_EQ(model.locationSummary().succeeded, (QStringList{"Vrel 字幕", "Vrel Swipe"}));
    EXPECT_EQ(model.locationSummary().resultTitle(), "插件位置");
    // The browse rescanned, so the new folder is listed too.
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 2; }));
}

TEST_F(InstalledPluginsPanelTest, SelectionSurvivesARescanAndBusyDisablesTheLocations) {
    model.refreshInstalledPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 1; }));
    panel.pluginList()->setCurrentRow(0);
    world.makeFolder(userTree + "/Generators.localized/Vrel Back");
    panel.rescanButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 2; }));
    EXPECT_EQ(panel.pluginList()->currentItem()->text(), "字幕 · Vrel 字幕");
    EXPECT_TRUE(panel.locationButton()->isEnabled());

    model.setIsWorking(true);
    ASSERT_TRUE(test::waitUntil([&] { return !panel.allLocationsButton()->isEnabled(); }));
    EXPECT_FALSE(panel.locationButton()->isEnabled());
    EXPECT_FALSE(panel.uninstallButton()->isEnabled());
    EXPECT_TRUE(panel.rescanButton()->isEnabled());
    model.setIsWorking(false);
    ASSERT_TRUE(test::waitUntil([&] { return panel.allLocationsButton()->isEnabled(); }));
}

TEST_F(InstalledPluginsPanelTest, RendersTheRowsOffscreen) {
    panel.resize(480, 320);
    const auto render = [&] {
        QImage image(panel.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        panel.render(&image);
        return image.copy(panel.pluginList()->geometry());
    };
    const QImage empty = render();
    model.refreshInstalledPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 1; }));
    const QImage listed = render();
    EXPECT_NE(empty, listed);
}

TEST_F(InstalledPluginsPanelTest, UninstallAsksFirstForOneOrSeveralPlugins) {
    panel.show();
    world.makeFolder(userTree + "/Effects.localized/Vrel Glow");
    panel.rescanButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 2; }));
    EXPECT_FALSE(panel.uninstallButton()->isEnabled());

    // One plug-in: the confirmation bound to the model's flag; cancelling forgets the plug-in.
    panel.pluginList()->setCurrentRow(0);
    panel.uninstallButton()->click();
    EXPECT_EQ(model.pluginToDelete()->name, "Vrel 字幕");
    auto *alert = qobject_cast<QMessageBox *>(panel.deleteConfirmation().sheet());
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->text().contains("Vrel 字幕"));
    click(alert, "取消");
    EXPECT_FALSE(model.showPluginDeleteConfirmation());
    EXPECT_FALSE(model.pluginToDelete());
    EXPECT_EQ(panel.pluginList()->count(), 2);

    // Several: a confirmation naming their number, then one removal each.
    panel.pluginList()->selectAll();
    panel.uninstallButton()->click();
    EXPECT_FALSE(model.showPluginDeleteConfirmation());
    ASSERT_NE(panel.multipleDeleteConfirmation(), nullptr);
    EXPECT_TRUE(panel.multipleDeleteConfirmation()->text().contains("2 个插件"));
    click(panel.multipleDeleteConfirmation(), "卸载");
    ASSERT_TRUE(test::waitUntil([&] { return panel.pluginList()->count() == 0 && !model.isWorking(); }));
    EXPECT_EQ(model.installMessage(), "✓ 已卸载 2 个插件。请重启 Final Cut Pro。");
}

TEST_F(InstalledPluginsPanelTest, TheRepairShowsItsProgressAndItsMessage) {
    panel.show();
    model.setIsRepairingMotionRuntime(true);
    model.setMotionRepairMessage("正在检查并修复 Motion 运行组件…");
    ASSERT_TRUE(test::waitUntil([&] { return panel.repairProgress()->isVisible(); }));
    EXPECT_FALSE(panel.repairButton()->isEnabled());
    EXPECT_EQ(panel.repairMessage()->text(), "正在检查并修复 Motion 运行组件…");
    model.setIsRepairingMotionRuntime(false);
    ASSERT_TRUE(test::waitUntil([&] { return panel.repairButton()->isEnabled(); }));
    EXPECT_FALSE(panel.repairProgress()->isVisible());

    panel.repairButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel.repairMessage()->text().startsWith("没有找到可修复的 Motion 运行组件。"); }));
}

TEST_F(InstalledPluginsPanelTest, TheControlsStayInPlaceWhenTheRepairBarAppears) {
    panel.resize(900, 600);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QList<QWidget *> controls{panel.pluginList(),     panel.rescanButton(), panel.uninstallButton(), panel.locationButton(),
                                    panel.allLocationsButton(), panel.repairButton(), panel.repairMessage()};
    auto places = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QList<QRect> result;
        for (QWidget *control : controls) {
            result.append(QRect(control->mapTo(&panel, QPoint(0, 0)), control->size()));
        }
        return result;
    };
    const QList<QRect> idle = places();
    model.setIsRepairingMotionRuntime(true);
    model.setMotionRepairMessage(QStringLiteral("正在检查并修复 Motion 运行组件…"));
    ASSERT_TRUE(test::waitUntil([&] { return panel.repairProgress()->isVisible(); }));
    EXPECT_EQ(places(), idle);
    model.setIsRepairingMotionRuntime(false);
    ASSERT_TRUE(test::waitUntil([&] { return !panel.repairProgress()->isVisible(); }));
    EXPECT_EQ(places(), idle);
}
