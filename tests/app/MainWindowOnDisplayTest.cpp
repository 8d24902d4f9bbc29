// The main window as the X server shows it, on a virtual display: after the sign-in sheet
// (with its web page) has opened and closed, the window still repaints what another window
// uncovers and what an unmap and map exposes. The application runs in a child process (this
// test program again, on the virtual display with Qt's X11 platform); this process looks at
// the screen through a connection of its own and compares it with the application's own
// picture of its window.
#include "app/QuillonApp.h"
#include "app/VirtualDisplay.h"
#include "core/AccountTestSupport.h"
#include "model/PluginManager.h"
#include "support/LogWatcher.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"
#include "ui/WechatLoginSheet.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace {

constexpr auto kChildRole = "QUILLON_TEST_WINDOW_CHILD";
constexpr auto kLong = 120s; // the web engine's first start, in a sanitised build on a loaded machine
const QString kPageTitle = QStringLiteral("微信登录");

/// Runs the event loop once more after everything already queued (the views' refreshes).
void drainEvents() {
    for (int turn = 0; turn < 2; ++turn) {
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        waitUntil([&] { return ran; });
    }
}

/// The application's side, in the child: the main window; the sign-in sheet, its page loaded,
/// closed with its cancel button; then the window's id and the application's own picture of it
/// go to the test, and the child waits until the test is done looking.
void showTheWindowAfterTheSignInSheet(const QString &pictureFile) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    LogWatcher log;
    FakeAccountService service;
    ScriptedReply page = ScriptedReply::json(
        200, "<html><head><meta charset=\"utf-8\"><title>" + kPageTitle.toStdString() + "</title></head><body><h1>二维码</h1></body></html>");
    page.contentType = "text/html";
    service.always("/qr", page);
    service.always(kLoginStatus, ScriptedReply::json(200, std::string(R"({"status":"pending"})")));
    service.then(kLoginStart, ScriptedReply::json(200, QJsonObject{
        {QStringLiteral("ticket"), QStringLiteral("T1")},
        {QStringLiteral("authorizeUrl"), service.baseUrl().resolved(QUrl(QStringLiteral("qr"))).toString()}}));
    TestWorld world;
    QuillonApp app(world.environment(service.baseUrl()));
    app.show();
    QWidget &window = app.window();
    ASSERT_TRUE(waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, kLong));

    PluginManager &model = app.manager();
    model.startWechatLogin();
    SheetBinding &binding = window.findChild<ContentView *>()->wechatLoginSheet();
    ASSERT_TRUE(waitUntil([&] { return binding.sheet() && binding.sheet()->isVisible(); }, kLong));
    auto *sheet = qobject_cast<WechatLoginSheet *>(binding.sheet());
    ASSERT_TRUE(sheet && sheet->page()) << "the web-engine module is built beside the program";
    ASSERT_TRUE(waitUntil([&] { return sheet->page()->property("title").toString() == kPageTitle; }, kLong))
        << "page requests: " << service.count("/qr") << ", title: " << sheet->page()->property("title").toString().toStdString();
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !binding.sheet() && !model.isWorking() && !model.isCheckingForUpdate(); }, kLong));
    drainEvents();
    EXPECT_FALSE(log.saw(QStringLiteral("initialized from a plugin"))) << "the shared GL context exists before the module loads";

    ASSERT_TRUE(window.grab().save(pictureFile));
    std::printf("\nquillon-window %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);

    bool done = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0 || std::string_view(buffer, 4) == "done") {
            done = true;
        }
    });
    ASSERT_TRUE(waitUntil([&] { return done; }, 10min));
}

/// How `shown` differs from `expected`: pixels that differ, and how many of them are `colour`.
std::string difference(const QImage &shown, const QImage &expected, QRgb colour) {
    if (shown.size() != expected.size()) {
        return "the screen shows nothing there";
    }
    int differing = 0;
    int coloured = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            differing += shown.pixel(x, y) != expected.pixel(x, y);
            coloured += shown.pixel(x, y) == colour;
        }
    }
    return std::to_string(differing) + " of " + std::to_string(shown.width() * shown.height()) + " pixels differ from the window, " +
           std::to_string(coloured) + " show the covering window's colour";
}

} // namespace

TEST(MainWindowOnDisplay, RepaintsWhatAnotherWindowUncoversAndAMapShowsAfterTheSignInSheet) {
    if (qEnvironmentVariableIsSet(kChildRole)) {
        showTheWindowAfterTheSignInSheet(qEnvironmentVariable(kChildRole));
        return;
    }
    VirtualDisplay display(QSize(1600, 1000));
    if (!display.isRunning()) {
        GTEST_SKIP() << "no X server could be started: " << display.error().toStdString();
    }
    DisplayClient screen(display.name());
    ASSERT_TRUE(screen.isConnected()) << display.name().toStdString();

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("runtime")));
    QFile::setPermissions(folder.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString pictureFile = folder.filePath(QStringLiteral("window.png"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildRole), pictureFile);
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
    // On a real X display the window loads the GL driver and D-Bus, which keep memory until
    // exit in modules unloaded by then: the leak checker can name no library to pass over.
    // This child is here for the pixels; the offscreen suites check the program for leaks.
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    }
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2").arg(QString::fromLatin1(test->test_suite_name()), QString::fromLatin1(test->name()))});
    QByteArray output;
    auto report = [&] {
        return (QString::fromLocal8Bit(output + child.readAllStandardOutput() + child.readAllStandardError())).toStdString();
    };
    std::uint32_t window = 0;
    ASSERT_TRUE(waitUntil([&] {
        output += child.readAllStandardOutput();
        const qsizetype at = output.indexOf("\nquillon-window ");
        const qsizetype end = at < 0 ? -1 : output.indexOf('\n', at + 1);
        if (end > 0) {
            window = std::uint32_t(output.mid(at + 16, end - at - 16).toULong());
        }
        return window != 0 || child.state() == QProcess::NotRunning;
    }, kLong + kLong) && window != 0) << report();

    const QImage expected = QImage(pictureFile).convertToFormat(QImage::Format_RGB32);
    const std::optional<QRect> area = screen.geometry(window);
    ASSERT_TRUE(area && !expected.isNull());
    ASSERT_EQ(area->size(), expected.size());
    constexpr QRgb magenta = 0xffff00ff;
    QImage shown;
    auto showsTheWindow = [&] { return (shown = screen.grab(*area)) == expected; };
    EXPECT_TRUE(waitUntil(showsTheWindow, 30s)) << "where the sheet was: " << difference(shown, expected, magenta);

    // Another window over the middle of the main window, then gone.
    const QRect middle = area->adjusted(area->width() / 5, area->height() / 5, -area->width() / 5, -area->height() / 5);
    const std::uint32_t cover = screen.cover(middle, magenta, 30s);
    ASSERT_NE(cover, 0u);
    ASSERT_EQ(screen.grab(middle).pixel(10, 10), magenta) << "the covering window shows";
    screen.uncover(cover);
    EXPECT_TRUE(waitUntil(showsTheWindow, 30s)) << "after another window uncovered it: " << difference(shown, expected, magenta);

    // Unmapped and mapped again, as a desktop does when it hides and shows a window.
    ASSERT_TRUE(screen.unmapAndMap(window, 30s));
    EXPECT_TRUE(waitUntil(showsTheWindow, 30s)) << "after an unmap and map: " << difference(shown, expected, magenta);

    child.write("done\n");
    child.closeWriteChannel();
    ASSERT_TRUE(waitUntil([&] { return child.state() == QProcess::NotRunning; }, 60s)) << report();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << report();
}
