#include "app/LaunchOptions.h"
#include "app/QuillonApp.h"
#include "app/WindowConfigurator.h"
#include "model/PluginManager.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quillon;

TEST(WindowLayout, FirstStartOnAFullHdScreenResizesTo1440By900) {
    const auto d = decideWindowLayout(QSize(1920, 1055), QSize(1240, 780), 0);
    EXPECT_EQ(d.minimum, QSize(1240, 780));
    ASSERT_TRUE(d.resizeTo);
    EXPECT_EQ(*d.resizeTo, QSize(1440, 900));
}

TEST(WindowLayout, CurrentVersionAndALargeEnoughWindowLeaveItAlone) {
    const auto d = decideWindowLayout(QSize(1920, 1055), QSize(1300, 800), 358);
    EXPECT_EQ(d.minimum, QSize(1240, 780));
    EXPECT_FALSE(d.resizeTo);
}

TEST(WindowLayout, ASmallScreenCapsTheMinimumAndTheMinimumWinsOverScreenMinus48) {
    const auto d = decideWindowLayout(QSize(1280, 720), QSize(800, 600), 358);
    EXPECT_EQ(d.minimum, QSize(1240, 720));
    ASSERT_TRUE(d.resizeTo);
    EXPECT_EQ(*d.resizeTo, QSize(1240, 720));
}

TEST(WindowLayout, AnOlderStoredVersionResizesOnce) {
    const auto old = decideWindowLayout(QSize(1920, 1055), QSize(1500, 1000), 357);
    ASSERT_TRUE(old.resizeTo);
    EXPECT_EQ(*old.resizeTo, QSize(1440, 900));
    EXPECT_FALSE(decideWindowLayout(QSize(1920, 1055), QSize(1500, 1000), 358).resizeTo);
    EXPECT_FALSE(decideWindowLayout(QSize(1920, 1055), QSize(1500, 1000), 400).resizeTo);
}

TEST(WindowLayout, AWindowSmallerThanTheMinimumGrowsEvenAtTheCurrentVersion) {
    const auto d = decideWindowLayout(QSize(1920, 1055), QSize(1240, 779), 358);
    ASSERT_TRUE(d.resizeTo);
    EXPECT_EQ(*d.resizeTo, QSize(1440, 900));
}

TEST(WindowLayout, NoScreenFallsBackToFixedSizes) {
    const auto d = decideWindowLayout(std::nullopt, QSize(100, 100), 358);
    EXPECT_EQ(d.minimum, QSize(1240, 780));
    ASSERT_TRUE(d.resizeTo);
    EXPECT_EQ(*d.resizeTo, QSize(1440, 900));
}

TEST(LaunchOptionsTest, OnlyTheExactArgumentOrThePreviewBundleTurnsOnThePreview) {
    EXPECT_TRUE(isGuidePreview({QStringLiteral("q"), QStringLiteral("--preview-install-guide")}, std::nullopt));
    EXPECT_FALSE(isGuidePreview({QStringLiteral("q"), QStringLiteral("--preview-install-guide=1")}, std::nullopt));
    EXPECT_FALSE(isGuidePreview({QStringLiteral("q"), QStringLiteral("x--preview-install-guide")}, std::nullopt));
    EXPECT_FALSE(isGuidePreview({QStringLiteral("q")}, std::nullopt));
    EXPECT_TRUE(isGuidePreview({QStringLiteral("q")}, QStringLiteral("com.vrel.quillon.preview379")));
    EXPECT_FALSE(isGuidePreview({QStringLiteral("q")}, QStringLiteral("com.vrel.quillon")));
}

TEST(QuillonAppWindow, ShowsTheTitledWindowConfiguredOnceAndStoresTheLayoutVersion) {
    test::TestWorld world;
    QuillonApp app(world.environment());
    PluginManager *model = &app.manager();
    EXPECT_EQ(&app.manager(), model); // exactly one model for the run

    app.show();
    QWidget &window = app.window();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vrel 插件中心"));
    ASSERT_TRUE(test::waitUntil([&] { return world.preferences->integer(QStringLiteral("vrel.window.layout.version")) == 358; }));
    EXPECT_GE(window.minimumWidth(), 1);
    EXPECT_LE(window.minimumWidth(), 1240);
    EXPECT_GE(window.width(), window.minimumWidth());
    EXPECT_GE(window.height(), window.minimumHeight());
    EXPECT_TRUE(window.isVisible());
}

TEST(QuillonAppWindow, ThePreviewModeOpensTheLocationGuide) {
    test::TestWorld world;
    world.isGuidePreview = true;
    QuillonApp app(world.environment());
    app.show();
    EXPECT_TRUE(app.manager().showLocationGuide());
    const auto dialogs = app.window().findChildren<QDialog *>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_TRUE(dialogs.first()->isVisible());

    test::TestWorld normal;
    QuillonApp plain(normal.environment());
    plain.show();
    EXPECT_FALSE(plain.manager().showLocationGuide());
    EXPECT_TRUE(plain.window().findChildren<QDialog *>().isEmpty());
}

TEST(QuillonAppWindow, ALaterStartOpensWhereTheWindowWasLeftUnlessItIsTooSmall) {
    test::TestWorld world;
    QRect left;
    {
        QuillonApp first(world.environment());
        first.show();
        ASSERT_TRUE(test::waitUntil([&] { return world.preferences->integer(QStringLiteral("vrel.window.layout.version")); }));
        first.window().move(first.window().pos() + QPoint(37, 23));
        left = first.window().geometry();
        EXPECT_TRUE(first.window().close());
    }
    const auto reopened = [&] {
        QuillonApp app(world.environment());
        app.show();
        QCoreApplication::processEvents(); // the configuration runs from the event loop
        return app.window().geometry();
    };
    EXPECT_EQ(reopened(), left);

    // A place saved from a smaller window: the layout rule grows it again.
    QWidget small;
    small.setGeometry(40, 40, 300, 200);
    world.preferences->setValue(QStringLiteral("vrel.window.geometry"), QString::fromLatin1(small.saveGeometry().toBase64()));
    const QRect grown = reopened();
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_GE(grown.width(), std::min(1240, screen.width()));
    EXPECT_GE(grown.height(), std::min(780, screen.height()));
}
