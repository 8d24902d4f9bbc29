// What earlier runs left behind, removed at the next start: only the program's own names in
// its own places, never through a link, and never what a running copy of the program holds
// (a real second process holds the locks here).
#include "InstallFixtures.h"

#include "install/LeftoverFiles.h"
#include "install/PartFile.h"
#include "install/RunLock.h"
#include "model/PluginManager.h"
#include "platform/Failure.h"
#include "support/Wait.h"

#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

QString uuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

/// Another copy of the program holding the locks of `paths` until it is told to end.
class RunningCopy final {
public:
    explicit RunningCopy(const QStringList &paths) {
        m_process.start(QStringLiteral(QUILLON_LOCK_HOLDER), paths);
        m_held = m_process.waitForReadyRead(10'000) && m_process.readAll() == "held\n";
    }
    ~RunningCopy() { end(); }
    bool holds() const { return m_held; }
    void end() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            m_process.waitForFinished(10'000);
        }
    }

private:
    QProcess m_process;
    bool m_held = false;
};

class LeftoverFilesTest : public ::testing::Test {
protected:
    LeftoverFilesTest() {
        places.resources = world.makeFolder(QStringLiteral("home/Downloads/Vrel 素材"));
        places.managed = world.makeFolder(QStringLiteral("home/Library/Application Support/Vrel 插件管理器/临时安装包"));
        places.temporary = world.paths.temporary;
    }

    QString file(const QString &folder, const QString &name, const QByteArray &bytes = "x") const {
        const QString path = QDir(folder).filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        return path;
    }
    QString folder(const QString &parent, const QString &name) const {
        const QString path = QDir(parent).filePath(name);
        QDir().mkpath(path);
        return path;
    }
    QStringList removed() const { return removeLeftoversOfEarlierRuns(places); }

    TestWorld world;
    LeftoverPlaces places;
};

} // namespace

TEST_F(LeftoverFilesTest, OnlyTheProgramsOwnNamesInItsOwnPlacesGoAndNoLinkIsFollowed) {
    const QString outside = world.makeFolder(QStringLiteral("outside"));
    const QString precious = file(outside, QStringLiteral("precious.txt"), "keep me");

    QStringList gone{
        file(places.resources, QStringLiteral(".素材包.zip.0123abcd.part")),
        file(places.resources, QStringLiteral("..Vrel-%1.download.89abcdef.part").arg(uuid())),
        file(places.managed, QStringLiteral(".Vrel-%1-FCP-1.pkg.00ff00ff.part").arg(uuid())),
    };
    const QString managedBatch = folder(places.managed, QStringLiteral("批量安装-") + uuid());
    file(managedBatch, QStringLiteral("07.pkg"));
    file(managedBatch, QStringLiteral(".07.pkg.01234567.part"));
    const QString staging = folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid());
    file(staging, QStringLiteral("01.pkg"));
    // A link inside a staging folder goes itself; what it points to stays.
    QFile::link(precious, QDir(staging).filePath(QStringLiteral("02.pkg")));
    gone << managedBatch << staging;

    const QStringList kept{
        file(places.resources, QStringLiteral("素材包.zip")),
        file(places.resources, QStringLiteral("素材包.zip.0123abcd.part")), // not hidden
        file(places.resources, QStringLiteral(".x.0123ABCD.part")),         // not our hex
        file(places.resources, QStringLiteral(".x.0123abc.part")),
        file(places.managed, QStringLiteral("Vrel-%1-FCP-2.pkg").arg(uuid())), // a single hand-off
        file(world.paths.downloads, QStringLiteral(".elsewhere.0123abcd.part")),
        file(places.temporary, QStringLiteral(".Vrel-x.pkg.0123abcd.part")),
        folder(places.managed, QStringLiteral("批量安装-nicht-uuid")),
        folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid().toLower()),
        folder(places.temporary, QStringLiteral("批量安装-") + uuid()),
        folder(places.managed, QStringLiteral("Vrel-批量安装-") + uuid()),
        // Shaped otherwise than a batch folder: a folder inside.
        folder(folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid()), QStringLiteral("inner")),
    };
    // Links named like leftovers lead outside: neither they nor their targets are touched.
    const QString linkedStaging = QDir(places.temporary).filePath(QStringLiteral("Vrel-批量安装-") + uuid());
    QFile::link(outside, linkedStaging);
    const QString linkedPart = QDir(places.resources).filePath(QStringLiteral(".link.0123abcd.part"));
    QFile::link(precious, linkedPart);

    QStringList result = removed();
    result.sort();
    gone.sort();
    EXPECT_EQ(result, gone);
    for (const QString &path : gone) {
        EXPECT_FALSE(QFileInfo(path).exists() || QFileInfo(path).isSymLink()) << path.toStdString();
    }
    for (const QString &path : kept + QStringList{linkedStaging, linkedPart}) {
        EXPECT_TRUE(QFileInfo(path).exists() || QFileInfo(path).isSymLink()) << path.toStdString();
    }
    EXPECT_EQ(readAll(precious), QByteArray("keep me"));

    // A place that is itself a link is not looked into.
    const QString elsewhere = world.makeFolder(QStringLiteral("elsewhere"));
    const QString bait = file(elsewhere, QStringLiteral(".bait.0123abcd.part"));
    QDir(places.resources).removeRecursively();
    QFile::link(elsewhere, places.resources);
    EXPECT_EQ(removed(), QStringList());
    EXPECT_TRUE(QFileInfo::exists(bait));
}

TEST_F(LeftoverFilesTest, WhatARunningCopyHoldsStaysUntilItEnds) {
    const QString heldPart = file(places.resources, QStringLiteral(".a.zip.0123abcd.part"));
    const QString heldStaging = folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid());
    file(heldStaging, QStringLiteral("01.pkg"));
    const QString heldManaged = folder(places.managed, QStringLiteral("批量安装-") + uuid());
    const QString loosePart = file(places.managed, QStringLiteral(".b.pkg.0123abcd.part"));
    const QString looseStaging = folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid());
    // A download and a batch of this very process, under way.
    PartFile live(QDir(places.resources).filePath(QStringLiteral("live.zip")));
    const RunFolder batch = RunFolder::create(QDir(places.temporary).filePath(QStringLiteral("Vrel-批量安装-") + uuid()));

    RunningCopy other({heldPart, heldStaging, heldManaged});
    ASSERT_TRUE(other.holds());
    QStringList result = removed();
    result.sort();
    EXPECT_EQ(result, (QStringList{loosePart, looseStaging}));
    for (const QString &path : {heldPart, heldStaging, heldManaged, live.path(), batch.path()}) {
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(QDir(heldStaging).filePath(QStringLiteral("01.pkg"))));

    // Once that copy has ended its files are leftovers; a batch folder of the managed folder
    // waits while the Installer app may still show one of its packages.
    other.end();
    places.keepManagedBatchFolders = true;
    result = removed();
    result.sort();
    EXPECT_EQ(result, (QStringList{heldPart, heldStaging}));
    EXPECT_TRUE(QFileInfo::exists(heldManaged));
    EXPECT_TRUE(QFileInfo::exists(live.path()) && QFileInfo::exists(batch.path()));
    places.keepManagedBatchFolders = false;
    EXPECT_EQ(removed(), QStringList{heldManaged});
}

TEST_F(LeftoverFilesTest, TheModelRemovesThemAtStartUnlessTheInstallerAppRuns) {
    const QString part = file(places.resources, QStringLiteral(".a.zip.0123abcd.part"));
    const QString staging = folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid());
    const QString managedBatch = folder(places.managed, QStringLiteral("批量安装-") + uuid());
    file(managedBatch, QStringLiteral("03.pkg"));
    world.workspace->running[QStringLiteral("com.apple.installer")] = 1;
    {
        PluginManager model(world.environment());
        model.start();
        EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(part) && !QFileInfo::exists(staging); }));
    }
    EXPECT_TRUE(QFileInfo::exists(QDir(managedBatch).filePath(QStringLiteral("03.pkg"))));

    world.workspace->running.clear();
    PluginManager model(world.environment());
    model.start();
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(managedBatch); }));
}

TEST_F(LeftoverFilesTest, ARunsFolderIsAlwaysANewOne) {
    const QString taken = folder(places.temporary, QStringLiteral("Vrel-批量安装-") + uuid());
    const QString blocked = file(places.temporary, QStringLiteral("not-a-folder"));
    for (const QString &path : {taken, QDir(blocked).filePath(QStringLiteral("Vrel-批量安装-") + uuid())}) {
        try {
            RunFolder::create(path);
            ADD_FAILURE() << "made " << path.toStdString();
        } catch (const PlatformError &error) {
            EXPECT_EQ(error.description(), QStringLiteral("无法创建文件夹“%1”。").arg(path));
        }
    }
    const RunFolder made = RunFolder::create(QDir(world.path(QStringLiteral("new/parents"))).filePath(QStringLiteral("run")));
    EXPECT_TRUE(made.isHeld() && QFileInfo(made.path()).isDir());
}
