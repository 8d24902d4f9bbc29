// Packages handed to the Installer app: the managed folder, the hand-off, the watcher
// that deletes each package once the Installer has quit, and the pruning of folders.
#include "InstallFixtures.h"

#include "model/PluginManager.h"
#include "platform/Failure.h"
#include "records/InstallError.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quillon;

namespace {

const QString installerApp = QStringLiteral("com.apple.installer");

class PackageHandOffTest : public ::testing::Test {
protected:
    test::TestWorld world;
    std::unique_ptr<PluginManager> model = std::make_unique<PluginManager>(world.environment());
    QString parent = QDir(world.paths.applicationSupport).filePath(QStringLiteral("Vrel 插件管理器"));
    QString managed = QDir(parent).filePath(QStringLiteral("临时安装包"));

    QString managedPackage(const QString &relative) {
        const QString path = QDir(managed).filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("xar!");
        return path;
    }
    /// Answers the Installer's presence from `answer(query number)` and records, for each
    /// query, whether `watched` still existed when it was asked.
    void scriptInstaller(std::function<int(int)> answer, const QString &watched) {
        world.workspace->runningCountScript = [this, answer, watched](const QString &id, int query) {
            EXPECT_EQ(id, installerApp);
            existedAtQuery.append(QFileInfo::exists(watched));
            return answer(query);
        };
    }
    bool watcherEnded(const QString &path) { return model->packageCleanupTasks().count(path) == 0; }

    QList<bool> existedAtQuery;
};

} // namespace

TEST_F(PackageHandOffTest, TheManagedFolderLivesInApplicationSupportAndIsNotCreatedHere) {
    EXPECT_EQ(model->managedInstallerFolder(), managed);
    EXPECT_FALSE(QFileInfo::exists(parent));

    // A missing Application Support folder is created; one that cannot be is the platform's error.
    QDir(world.paths.applicationSupport).removeRecursively();
    EXPECT_EQ(model->managedInstallerFolder(), managed);
    EXPECT_TRUE(QFileInfo(world.paths.applicationSupport).isDir());

    test::TestWorld blocked;
    blocked.paths.applicationSupport = blocked.writeFile(QStringLiteral("not-a-folder"), "x") + QStringLiteral("/Support");
    PluginManager other{blocked.environment()};
    EXPECT_THROW(other.managedInstallerFolder(), PlatformError);
    blocked.paths.applicationSupport.clear();
    PluginManager none{blocked.environment()};
    EXPECT_THROW(none.managedInstallerFolder(), PlatformError);
}

TEST_F(PackageHandOffTest, OnlyPackagesAreHandedToTheInstallerApp) {
    const QString upper = managedPackage(QStringLiteral("Vrel 字幕.PKG"));
    model->openPackageWithSystemInstaller(upper);
    EXPECT_EQ(world.workspace->openedFiles, QStringList{upper});

    for (const QString &name : {QStringLiteral("Vrel.zip"), QStringLiteral("Vrel.pkg.zip"), QStringLiteral("pkg")}) {
        try {
            model->openPackageWithSystemInstaller(managedPackage(name));
            FAIL() << name.toStdString();
        } catch (const InstallError &error) {
            EXPECT_EQ(error.kind(), InstallError::Kind::invalidPackage);
        }
    }
    EXPECT_EQ(world.workspace->openedFiles.size(), 1) << "nothing else was opened";

    world.workspace->openFileSucceeds = false;
    try {
        model->openPackageWithSystemInstaller(upper);
        FAIL() << "a package the desktop cannot open is an invalid package";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::invalidPackage);
        EXPECT_EQ(error.description(), QStringLiteral("安装包下载失败或文件格式不正确"));
    }
}

TEST_F(PackageHandOffTest, APackageGoesAtTheFirstCheckAfterTheInstallerQuits) {
    const QString pkg = managedPackage(QStringLiteral("批量安装-1234/Vrel 转场.pkg"));
    scriptInstaller([](int query) { return query <= 4 ? 1 : 0; }, pkg); // the user quits after the 4th check
    model->schedulePackageCleanupAfterSystemInstallerCloses(pkg);

    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(pkg); }));
    EXPECT_EQ(world.workspace->runningQueries, 5);
    EXPECT_EQ(existedAtQuery, (QList<bool>{true, true, true, true, true}));
    EXPECT_FALSE(QFileInfo::exists(pkg));
    // The emptied batch folder and then the emptied managed folder went; their parent stays.
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(pkg).absolutePath()));
    EXPECT_FALSE(QFileInfo::exists(managed));
    EXPECT_TRUE(QFileInfo(parent).isDir());
}

TEST_F(PackageHandOffTest, APackageWhoseInstallerNeverAppearedGoesSixChecksAfterTheFirst) {
    const QString pkg = managedPackage(QStringLiteral("Vrel 效果.pkg"));
    scriptInstaller([](int) { return 0; }, pkg);
    model->schedulePackageCleanupAfterSystemInstallerCloses(pkg);
    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(pkg); }));
    EXPECT_EQ(world.workspace->runningQueries, 7);
    EXPECT_TRUE(existedAtQuery.last());
    EXPECT_FALSE(QFileInfo::exists(pkg));
}

TEST_F(PackageHandOffTest, APackageGoesAfterSevenHundredTwentyWaitsEvenIfTheInstallerStaysOpen) {
    world.timing.packageCleanupCheck = std::chrono::milliseconds(1);
    model = std::make_unique<PluginManager>(world.environment());
    const QString pkg = managedPackage(QStringLiteral("Vrel 发生器.pkg"));
    scriptInstaller([](int) { return 1; }, pkg);
    model->schedulePackageCleanupAfterSystemInstallerCloses(pkg);
    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(pkg); }, std::chrono::seconds(30)));
    EXPECT_EQ(world.workspace->runningQueries, 721);
    EXPECT_EQ(existedAtQuery.count(true), 721);
    EXPECT_FALSE(QFileInfo::exists(pkg));
}

TEST_F(PackageHandOffTest, SchedulingTheSamePackageAgainReplacesTheWatcherAndOnlyTheNewOneDeletes) {
    const QString pkg = managedPackage(QStringLiteral("Vrel 字幕.pkg"));
    bool installerOpen = true;
    world.workspace->runningCountScript = [&](const QString &, int) { return installerOpen ? 1 : 0; };
    model->schedulePackageCleanupAfterSystemInstallerCloses(pkg);
    const TaskHandle first = model->packageCleanupTasks().at(pkg);

    // The Installer closes just as the package is handed over again: the first watcher had
    // seen it open, but it is no longer responsible and must not delete the file now.
    installerOpen = false;
    model->schedulePackageCleanupAfterSystemInstallerCloses(pkg);
    EXPECT_TRUE(first.isCancelled());
    const TaskHandle second = model->packageCleanupTasks().at(pkg);
    EXPECT_FALSE(second == first);

    const int queriesAtReplacement = world.workspace->runningQueries;
    ASSERT_TRUE(test::waitUntil([&] { return world.workspace->runningQueries >= queriesAtReplacement + 3; }));
    EXPECT_TRUE(QFileInfo::exists(pkg)) << "the replaced watcher deleted the package";
    EXPECT_TRUE(model->packageCleanupTasks().count(pkg) == 1 && model->packageCleanupTasks().at(pkg) == second);

    // The new watcher never saw the Installer: it deletes six checks after its first.
    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(pkg); }));
    EXPECT_FALSE(QFileInfo::exists(pkg));
}

TEST_F(PackageHandOffTest, ACancelledWatcherLeavesItsPackage) {
    const QString kept = managedPackage(QStringLiteral("kept.pkg"));
    const QString gone = managedPackage(QStringLiteral("gone.pkg"));
    world.workspace->running.insert(installerApp, 0);
    model->schedulePackageCleanupAfterSystemInstallerCloses(kept);
    model->schedulePackageCleanupAfterSystemInstallerCloses(gone);
    model->packageCleanupTasks().at(kept).cancel();
    // By the time the other watcher has deleted its package, the cancelled one would have too.
    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(gone); }));
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(QFileInfo::exists(kept));
}

TEST_F(PackageHandOffTest, WatchersEndWithTheirModelAndDeleteNothing) {
    const QString kept = managedPackage(QStringLiteral("kept.pkg"));
    world.workspace->running.insert(installerApp, 0);
    model->schedulePackageCleanupAfterSystemInstallerCloses(kept);
    model.reset();

    PluginManager other{world.environment()};
    const QString gone = managedPackage(QStringLiteral("gone.pkg"));
    other.schedulePackageCleanupAfterSystemInstallerCloses(gone);
    ASSERT_TRUE(test::waitUntil([&] { return other.packageCleanupTasks().empty(); }));
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(QFileInfo::exists(kept));
}

TEST_F(PackageHandOffTest, APackageOutsideTheManagedFolderIsNeverDeleted) {
    const QString download = world.writeFile(QStringLiteral("home/Downloads/Vrel.pkg"), "xar!");
    world.workspace->running.insert(installerApp, 0);
    model->schedulePackageCleanupAfterSystemInstallerCloses(download);
    ASSERT_TRUE(test::waitUntil([&] { return watcherEnded(download); }));
    EXPECT_TRUE(QFileInfo::exists(download));
}

TEST_F(PackageHandOffTest, DeletionStaysInsideTheManagedFolderWhateverThePathSays) {
    managedPackage(QStringLiteral("placeholder.pkg"));
    const QString outside = world.writeFile(QStringLiteral("home/Downloads/Vrel.pkg"), "xar!");
    const QString sibling = world.writeFile(QStringLiteral("home/Library/Application Support/Vrel 插件管理器/临时安装包-旧/a.pkg"), "x");
    const QString linkTarget = world.writeFile(QStringLiteral("elsewhere/b.pkg"), "x");
    ASSERT_TRUE(QFile::link(QFileInfo(linkTarget).absolutePath(), QDir(managed).filePath(QStringLiteral("link"))));

    model->silentlyDeleteManagedPackage(QDir(managed).filePath(QStringLiteral("../../../Downloads/Vrel.pkg")));
    model->silentlyDeleteManagedPackage(sibling);
    model->silentlyDeleteManagedPackage(QDir(managed).filePath(QStringLiteral("link/b.pkg")));
    model->silentlyDeleteManagedPackage(managed); // the folder itself is not inside itself
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo::exists(sibling));
    EXPECT_TRUE(QFileInfo::exists(linkTarget));
    EXPECT_TRUE(QFileInfo(managed).isDir());

    // A path that only looks odd but lies inside is deleted.
    const QString inside = managedPackage(QStringLiteral("sub/c.pkg"));
    model->silentlyDeleteManagedPackage(QDir(managed).filePath(QStringLiteral("sub/../sub/./c.pkg")));
    EXPECT_FALSE(QFileInfo::exists(inside));
    EXPECT_FALSE(QFileInfo::exists(QDir(managed).filePath(QStringLiteral("sub"))));
}

TEST_F(PackageHandOffTest, APackageKeptAsAFolderGoesWholeWithoutFollowingLinksOut) {
    const QString outside = world.writeFile(QStringLiteral("elsewhere/keep.txt"), "x");
    const QString pkg = QDir(managed).filePath(QStringLiteral("批量安装-B/Vrel 字幕.pkg"));
    managedPackage(QStringLiteral("批量安装-B/Vrel 字幕.pkg/Contents/Archive.pax.gz"));
    ASSERT_TRUE(QFile::link(world.path(QStringLiteral("elsewhere")), pkg + QStringLiteral("/Contents/link")));
    const QString notAPackage = QFileInfo(managedPackage(QStringLiteral("批量安装-C/one.pkg"))).absolutePath();
    model->silentlyDeleteManagedPackage(notAPackage);
    EXPECT_TRUE(QFileInfo::exists(notAPackage + QStringLiteral("/one.pkg"))) << "only a folder named as a package goes";

    model->silentlyDeleteManagedPackage(pkg);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(pkg).absolutePath())) << "the package and its emptied batch folder went";
    EXPECT_TRUE(QFileInfo::exists(outside));
}

TEST_F(PackageHandOffTest, FoldersThatStillHoldAnythingAreKept) {
    const QString batch = QDir(managed).filePath(QStringLiteral("批量安装-A"));
    const QString pkg = managedPackage(QStringLiteral("批量安装-A/one.pkg"));
    managedPackage(QStringLiteral("批量安装-A/.hidden"));
    model->silentlyDeleteManagedPackage(pkg);
    EXPECT_FALSE(QFileInfo::exists(pkg));
    EXPECT_TRUE(QFileInfo(batch).isDir()) << "a hidden file keeps its folder";

    const QString single = managedPackage(QStringLiteral("two.pkg"));
    const QString third = managedPackage(QStringLiteral("three.pkg"));
    model->silentlyDeleteManagedPackage(single);
    EXPECT_TRUE(QFileInfo::exists(third));
    EXPECT_TRUE(QFileInfo(managed).isDir()) << "another package keeps the managed folder";
}

TEST_F(PackageHandOffTest, PruningNeverLeavesTheManagedFolder) {
    const QString sibling = QDir(parent).filePath(QStringLiteral("临时安装包2"));
    QDir().mkpath(sibling);
    QDir().mkpath(managed);
    model->removeEmptyManagedInstallerFolders(sibling, managed);
    EXPECT_TRUE(QFileInfo(sibling).isDir()) << "a folder whose name merely starts like the root is outside it";
    model->removeEmptyManagedInstallerFolders(parent, managed);
    EXPECT_TRUE(QFileInfo(parent).isDir());

    QDir().mkpath(QDir(managed).filePath(QStringLiteral("a/b/c")));
    model->removeEmptyManagedInstallerFolders(QDir(managed).filePath(QStringLiteral("a/b/c")), managed);
    EXPECT_FALSE(QFileInfo::exists(managed));
    EXPECT_TRUE(QFileInfo(parent).isDir());
    EXPECT_TRUE(QFileInfo(sibling).isDir());

    // A link inside the managed folder does not lead the pruning to the folder it points into.
    const QString outside = world.makeFolder(QStringLiteral("elsewhere/empty"));
    QDir().mkpath(managed);
    ASSERT_TRUE(QFile::link(QFileInfo(outside).absolutePath(), QDir(managed).filePath(QStringLiteral("link"))));
    model->removeEmptyManagedInstallerFolders(QDir(managed).filePath(QStringLiteral("link/empty")), managed);
    EXPECT_TRUE(QFileInfo(outside).isDir());
}
