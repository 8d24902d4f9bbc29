#include "inventory/views/GuideButtons.h"
#include "inventory/views/InstallLocationGuide.h"
#include "model/PluginManager.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"

#include <QAbstractButton>
#include <QDialog>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

class LocationGuideSheet : public ::testing::Test {
protected:
    void SetUp() override { view.show(); }

    /// Raises the flag over `summary` and returns the guide the main window presents.
    InstallLocationGuide *present(const InstallLocationSummary &summary) {
        model.setLocationSummary(summary);
        model.setShowLocationGuide(true);
        QDialog *sheet = view.locationGuideSheet().sheet();
        if (sheet == nullptr) {
            return nullptr;
        }
        return sheet->findChild<InstallLocationGuide *>();
    }

    QPointer<QDialog> sheet() { return view.locationGuideSheet().sheet(); }

    bool closed(QPointer<QDialog> shown) {
        return test::waitUntil([&] { return shown.isNull() || !shown->isVisible(); });
    }

    test::TestWorld world;
    PluginManager model{world.environment()};
    ContentView view{model};
};

InstallLocationSummary installed() {
    InstallLocationSummary summary;
    summary.record(QStringLiteral("Vrel 光效"), {{FCPLocation::effects, QStringLiteral("Vrel 光效")},
                                                 {FCPLocation::titles, QStringLiteral("Vrel 光效字幕")}});
    summary.failures = {QStringLiteral("Vrel 转场：安装未完成，请重试。")};
    return summary;
}

} // namespace

TEST_F(LocationGuideSheet, ShowsTheModelsSummaryWithNoInitialCategoryAndTheFooterClearsTheFlag) {
    InstallLocationGuide *guide = present(installed());
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->summary(), installed());
    EXPECT_FALSE(guide->selected().has_value());
    EXPECT_FALSE(guide->showsLocation());
    QPointer<QDialog> shown = sheet();
    EXPECT_TRUE(test::waitUntil([&] { return shown->width() == 520; })) << "the sheet takes the guide's width";
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("部分插件已安装"));

    guide->findChild<QAbstractButton *>(QStringLiteral("showLocations"))->click();
    EXPECT_TRUE(test::waitUntil([&] { return shown->width() == 620; })) << "and widens with it";
    EXPECT_EQ(guide->category(), FCPLocation::titles) << "the first category with entries";

    guide->footerButton()->click();
    EXPECT_FALSE(model.showLocationGuide());
    EXPECT_TRUE(closed(shown));
    EXPECT_EQ(view.locationGuideSheet().sheet(), nullptr);
    EXPECT_EQ(model.locationSummary(), installed()) << "the guide leaves the summary alone";
}

TEST_F(LocationGuideSheet, ASummaryPublishedWhileOpenIsShownOnThePageTheUserIsOn) {
    InstallLocationGuide *guide = present(installed());
    ASSERT_NE(guide, nullptr);
    guide->showLocation();
    InstallLocationSummary later = installed();
    later.record(QStringLiteral("Vrel 转场"), {{FCPLocation::transitions, QStringLiteral("Vrel 转场")}});
    model.setLocationSummary(later);
    ASSERT_TRUE(test::waitUntil([&] { return guide->summary() == later; }));
    EXPECT_TRUE(guide->showsLocation());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the old page goes
    EXPECT_EQ(guide->findChildren<guide::PillButton *>().size(), 4) << "three tabs and the footer";
}

// The offscreen platform reads its screens from a file at start: the check runs in a child
// process of this suite with one 1280 x 720 screen, smaller than the location page.
TEST_F(LocationGuideSheet, OnA1280By720ScreenTheGrowingGuideFitsAndStaysCentredOnTheWindow) {
    if (!qEnvironmentVariableIsSet("QUILLON_SMALL_SCREEN")) {
        const QString config = world.writeFile(QStringLiteral("screen.json"),
            R"({"screens":[{"name":"small","x":0,"y":0,"width":1280,"height":720,"logicalDpi":96,"logicalBaseDpi":96}]})");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        environment.insert(QStringLiteral("QUILLON_SMALL_SCREEN"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        const ::testing::TestInfo *self = ::testing::UnitTest::GetInstance()->current_test_info();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=%1.%2").arg(self->test_suite_name(), self->name())});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        return;
    }
    const QRect screen = view.screen()->availableGeometry();
    ASSERT_EQ(screen.size(), QSize(1280, 720));
    view.setGeometry(200, 30, 700, 400);
    InstallLocationGuide *guide = present(installed());
    ASSERT_NE(guide, nullptr);
    QPointer<QDialog> shown = sheet();
    guide->findChild<QAbstractButton *>(QStringLiteral("showLocations"))->click();
    ASSERT_TRUE(test::waitUntil([&] { return shown->width() == 620; }));
    EXPECT_TRUE(test::waitUntil(
        [&] { return std::abs(shown->frameGeometry().center().x() - view.frameGeometry().center().x()) <= 1; }));
    EXPECT_TRUE(screen.contains(shown->frameGeometry()));
    QWidget *footer = guide->footerButton();
    EXPECT_TRUE(screen.contains(QRect(footer->mapToGlobal(QPoint(0, 0)), footer->size())));
}

TEST_F(LocationGuideSheet, TheHeadersCloseButtonClearsTheFlag) {
    InstallLocationSummary browse;
    browse.isBrowsing = true;
    InstallLocationGuide *guide = present(browse);
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->showsLocation());
    QPointer<QDialog> shown = sheet();
    guide->findChild<QAbstractButton *>(QStringLiteral("close"))->click();
    EXPECT_FALSE(model.showLocationGuide());
    EXPECT_TRUE(closed(shown));
}

TEST_F(LocationGuideSheet, EscapeClearsTheFlag) {
    ASSERT_NE(present(installed()), nullptr);
    QPointer<QDialog> shown = sheet();
    shown->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown.data()));
    QTest::keyClick(shown.data(), Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return !model.showLocationGuide(); }));
    EXPECT_TRUE(closed(shown));
}

TEST_F(LocationGuideSheet, EachPresentationStartsFresh) {
    InstallLocationGuide *first = present(installed());
    ASSERT_NE(first, nullptr);
    first->showLocation();
    first->footerButton()->click();
    ASSERT_FALSE(model.showLocationGuide());

    InstallLocationGuide *second = present(installed());
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->showsLocation()) << "an install summary opens on the result page again";
}
