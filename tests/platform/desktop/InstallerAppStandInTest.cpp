// The stand-in Installer app away from macOS: it installs through its window, packages
// handed to the desktop open in it, and the running-application check sees it until it quits.
#include "install/InstallFixtures.h"
#include "model/PluginManager.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/RunningApplications.h"
#include "support/Wait.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <memory>

using namespace quillon;

namespace {

const QString installerApp = QStringLiteral("com.apple.installer");
const QString standInName = QStringLiteral("quillon-installer-app");

/// The real desktop workspace, counting the running-application checks made through it.
class CountingWorkspace final : public Workspace {
public:
    explicit CountingWorkspace(const QString &standInFolder) : real(standInFolder) {}
    bool openURL(const QUrl &url) override { return real.openURL(url); }
    bool openFile(const QString &path) override { return real.openFile(path); }
    void revealInFileManager(const QStringList &paths) override { real.revealInFileManager(paths); }
    int runningApplicationCount(const QString &id) override {
        ++checks;
        return real.runningApplicationCount(id);
    }
    void terminateApplications(const QString &id) override { real.terminateApplications(id); }

    DesktopWorkspace real;
    int checks = 0;
};

} // namespace

TEST(InstallerAppStandInTest, InstallsThroughItsWindowAndReportsTheOutcome) {
    test::TestWorld world;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), world.paths.systemRoot);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString good = world.path(QStringLiteral("tmp/Vrel 光效.pkg"));
    test::PackageBuilder(test::titlesLocation).file(QStringLiteral("Vrel 光效/Glow.moti"), "motion").write(good);
    const QString broken = world.writeFile(QStringLiteral("tmp/broken.pkg"), "xar!");
    // A copy without the installer beside it.
    const QString alone = world.path(QStringLiteral("tmp/") + standInName);
    ASSERT_TRUE(QFile::copy(test::standIn(standInName), alone));
    struct Case {
        QString program;
        QString package;
        int exitCode;
        QString says;
    } cases[] = {
        {alone, good, 1, QStringLiteral("安装失败：找不到安装程序")},
        {test::standIn(standInName), good, 0, QStringLiteral("安装成功。")},
        {test::standIn(standInName), broken, 1, QStringLiteral("安装失败：")},
        {test::standIn(standInName), world.path(QStringLiteral("tmp/missing.pkg")), 1, QStringLiteral("找不到安装包")},
    };
    for (const Case &c : cases) {
        const test::ToolRun run = test::runTool(c.program, {QStringLiteral("--install-and-quit"), c.package}, environment);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.package.toStdString();
        EXPECT_TRUE(QString::fromUtf8(run.out).startsWith(c.says)) << run.out.constData() << run.err.constData();
    }
    EXPECT_EQ(test::readAll(world.paths.underSystemRoot(test::titlesLocation + QStringLiteral("/Vrel 光效/Glow.moti"))),
              QByteArray("motion"));
}

TEST(InstallerAppStandInTest, OnlyPackagesOpenInTheStandIn) {
    for (const char *name : {"a.pkg", "a.PKG"}) {
        ASSERT_NE(applicationOpening(QString::fromUtf8(name)), nullptr) << name;
        EXPECT_EQ(applicationOpening(QString::fromUtf8(name))->bundleIdentifier, installerApp);
    }
    for (const char *name : {"a.zip", "a.pkg.zip", "pkg", "a.mpkg"}) {
        EXPECT_EQ(applicationOpening(QString::fromUtf8(name)), nullptr) << name;
    }
    test::TestWorld world;
    EXPECT_FALSE(DesktopWorkspace(world.path(QStringLiteral("tmp"))).openFile(world.path(QStringLiteral("missing.pkg"))));
}

TEST(InstallerAppStandInTest, AHandedOffPackageStaysUntilTheStandInInstallerQuits) {
    test::TestWorld world;
    // A copy of its own, so that stand-ins other tests start at the same time are not counted here.
    const QString folder = world.makeFolder(QStringLiteral("stand-ins"));
    const QString standIn = QDir(folder).filePath(standInName);
    ASSERT_TRUE(QFile::copy(test::standIn(standInName), standIn));
    auto workspace = std::make_shared<CountingWorkspace>(folder);
    const auto reap = qScopeGuard([&] { workspace->terminateApplications(installerApp); }); // leave nothing running
    ModelEnvironment environment = world.environment();
    environment.workspace = workspace;
    PluginManager model{environment};
    const QString managed = model.managedInstallerFolder();
    const QString inWorld = managed.mid(world.root.path().size() + 1);
    const QStringList packages{world.writeFile(inWorld + QStringLiteral("/Vrel 字幕.PKG"), "xar!"),
                               world.writeFile(inWorld + QStringLiteral("/批量安装-1/Vrel 转场.pkg"), "xar!")};
    auto bothExist = [&] { return QFileInfo::exists(packages[0]) && QFileInfo::exists(packages[1]); };

    for (const QString &package : packages) {
        model.openPackageWithSystemInstaller(package);
    }
    ASSERT_TRUE(test::waitUntil([&] { return runningProcessesOf(standIn).size() == 2; }));
    for (const QString &package : packages) {
        model.schedulePackageCleanupAfterSystemInstallerCloses(package);
    }
    // More checks than a watcher that never saw the Installer would make before deleting.
    const int seen = workspace->checks;
    ASSERT_TRUE(test::waitUntil([&] { return workspace->checks >= seen + 2 * 8 || !bothExist(); }));
    EXPECT_TRUE(bothExist()) << "a package went while the Installer still had it open";

    workspace->terminateApplications(installerApp);
    EXPECT_TRUE(test::waitUntil([&] { return !QFileInfo::exists(packages[0]) && !QFileInfo::exists(packages[1]); }));
    EXPECT_TRUE(runningProcessesOf(standIn).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(managed)) << "the emptied managed folder goes too";
}
