// The Motion runtime repair over real bundles in a temporary world, with the stand-in
// codesign, lsregister and pluginkit.
#include "common/Registry.h"
#include "inventory/MotionRuntimeRepair.h"
#include "packaging/MotionRuntimeBuilder.h"
#include "support/FakeInventoryHost.h"
#include "support/HostilePropertyLists.h"
#include "support/LogWatcher.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QFile>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

using namespace quillon;
using packaging::Seal;

namespace {

const QString userRoot = QStringLiteral("home/Library/Application Support/Final Cut Pro/.MotionSupport/");
const QString systemRoot = QStringLiteral("system/Library/Application Support/Final Cut Pro/.MotionSupport/");
const QString legacyRoot = QStringLiteral("home/Library/FrontBoard/");
const QString legacy = QStringLiteral("ZelmPlugin");

QString runtimeId(const QString &tail) { return QStringLiteral("local.motiontemplate.runtime.") + tail; }

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

void overwrite(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A desktop of which the repair uses only the request to quit applications.
class QuitOnlyWorkspace : public Workspace {
public:
    bool openURL(const QUrl &) override { return false; }
    bool openFile(const QString &) override { return false; }
    void revealInFileManager(const QStringList &) override {}
    int runningApplicationCount(const QString &) override { return 0; }
};

/// A desktop whose request to quit applications fails, as a broken desktop service might.
class FailingWorkspace final : public QuitOnlyWorkspace {
public:
    void terminateApplications(const QString &) override { throw std::runtime_error("the desktop service failed"); }
};

/// A desktop that holds the repair inside its request to quit until the test lets it go.
class HoldingWorkspace final : public QuitOnlyWorkspace {
public:
    void terminateApplications(const QString &) override {
        entered = true;
        released.wait();
    }
    std::atomic<bool> entered = false;
    std::shared_future<void> released;
};

QStringList appsOf(const QList<MotionRuntimeCandidate> &candidates) {
    QStringList apps;
    for (const MotionRuntimeCandidate &candidate : candidates) {
        apps.append(candidate.appURL);
    }
    return sorted(apps);
}

} // namespace

TEST(MotionRuntimeRepairTest, TheLegacyWarningIsExactlyOneNonBlankLineAboutTheBundleRoot) {
    const QString warning = QStringLiteral("/Users/a/Legacy.app: unsealed contents present in the bundle root");
    const QList<std::pair<QString, bool>> cases{
        {warning, true}, {"\t " + warning + " \u3000\r\n \n\t\n", true}, {warning + "\nIn subcomponent: x", false},
        {warning + "\vx", false}, {warning + "\fx", false}, {"x\r" + warning, false}, {warning + "\u0085x", false},
        {warning + "\u2028x", false}, {"x\u2029" + warning, false}, {warning + ".", false},
        {"unsealed contents present in the bundle root", false}, {QString(), false},
    };
    for (const auto &[text, known] : cases) {
        EXPECT_EQ(MotionRuntimeRepair::isKnownLegacyVerificationWarning(text), known) << text.toStdString();
    }
}

TEST(MotionRuntimeRepairTest, DiscoveryWalksHiddenFoldersButNotBundles) {
    test::TestWorld world;
    const auto write = [&](const QString &relative, packaging::MotionRuntimeSpec spec = {}) {
        return packaging::writeMotionRuntime(world.path(relative), spec);
    };
    const QString deep = write(userRoot + ".cache/a/b/MotionRuntime.app");
    const QString chinese = write(userRoot + "运行/MotionRuntime.app", {.identifier = runtimeId("运行组件运行组件运行组件")});
    const QString system = write(systemRoot + "s/MotionRuntime.app", {.identifier = runtimeId("SYSTEM-RUNTIME")});
    const QString old = write(legacyRoot + "x/Old.APP", {.identifier = legacy});
    write(userRoot + "short/MotionRuntime.app", {.identifier = runtimeId("A1B2C3D4E5F")});
    write(userRoot + "underscore/MotionRuntime.app", {.identifier = runtimeId("A1B2C3D4E5F_")});
    write(userRoot + "notFxPlug/MotionRuntime.app", {.fxPlug = false});
    write(userRoot + "Other.app");
    write(userRoot + "Pack.bundle/MotionRuntime.app");
    write(legacyRoot + "Current.app");
    write("elsewhere/MotionRuntime.app");
    QFile::link(world.path("elsewhere"), world.path(userRoot + "link")); // links are not followed
    QFile::remove(write(userRoot + "noExecutable/MotionRuntime.app") + "/Contents/MacOS/ZelmFxPlugin");

    EXPECT_EQ(appsOf(MotionRuntimeRepair::discover(world.paths, false, false)), sorted({deep, chinese}));
    EXPECT_EQ(appsOf(MotionRuntimeRepair::discover(world.paths, true, true)), sorted({deep, chinese, system, old}));

    // With "/" at the home folder both current roots are one folder: each runtime counts once.
    SystemPaths same = world.paths;
    same.systemRoot = world.paths.home;
    EXPECT_EQ(appsOf(MotionRuntimeRepair::discover(same, true, false)), sorted({deep, chinese}));
}

TEST(MotionRuntimeRepairTest, TheModelRegistersWhatTheSignatureCheckAccepts) {
    test::TestWorld world;
    const auto write = [&](const QString &relative, packaging::MotionRuntimeSpec spec = {}) {
        return packaging::writeMotionRuntime(world.path(relative), spec);
    };
    const QStringList accepted{
        write(userRoot + "a/MotionRuntime.app"),
        write(systemRoot + "b/MotionRuntime.app"), // same identifier: asked to quit once
        write(legacyRoot + "Legacy.app", {.identifier = legacy, .application = Seal::unsealedRoot}),
    };
    write(userRoot + "unsigned/MotionRuntime.app", {.application = Seal::none});
    write(userRoot + "tampered/MotionRuntime.app", {.application = Seal::tampered});
    write(userRoot + "root/MotionRuntime.app", {.application = Seal::unsealedRoot});
    write(userRoot + "nested/MotionRuntime.app", {.extension = Seal::none});
    write(legacyRoot + "Strict.app", {.identifier = legacy, .extension = Seal::unsealedRoot});
    write(legacyRoot + "Tampered.app", {.identifier = legacy, .application = Seal::tampered});

    test::FakeInventoryHost model(world.environment());
    QStringList messages;
    model.changed = [&] {
        if (messages.value(messages.size() - 1) != model.motionRepairMessage()) {
            messages.append(model.motionRepairMessage());
        }
    };
    model.inventory().repairMotionPlugins();
    model.inventory().repairMotionPlugins(); // ignored while the first runs: each runtime is registered once below
    ASSERT_TRUE(test::waitUntil([&] { return !model.isRepairingMotionRuntime(); }, std::chrono::minutes(1)));
    EXPECT_EQ(messages, (QStringList{"正在检查并修复 Motion 运行组件…",
                                     "已修复 3 个组件，另有 6 个未完成。请先重新安装对应插件，再次点击修复。"}));

    QJsonObject applications;
    QJsonObject extensions;
    for (const QString &app : accepted) {
        const bool isLegacy = app.endsWith("Legacy.app");
        const QString id = isLegacy ? legacy : packaging::MotionRuntimeSpec().identifier;
        applications.insert(app, QJsonObject{{"identifier", id}, {"count", 1}});
        extensions.insert(app + "/Contents/PlugIns/ZelmFxPluginXPC.pluginkit",
                          QJsonObject{{"identifier", id + ".xpc"}, {"count", 1}});
    }
    EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, "launchservices"), applications);
    EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, "pluginkit"), extensions);
    EXPECT_EQ(sorted(world.workspace->terminated), sorted({legacy, packaging::MotionRuntimeSpec().identifier}));
}

TEST(MotionRuntimeRepairTest, MissingToolsAndMissingRuntimesGiveTheirReports) {
    test::TestWorld world;
    const QString missing = world.path("bin/absent");
    const QString plain = world.writeFile("bin/plain", "#!/bin/sh\n");
    const QString broken = world.writeFile("bin/broken", "\x7f not a program");
    QFile::setPermissions(broken, QFile::ReadOwner | QFile::ExeOwner);
    for (const QString &tool : {missing, plain}) {
        EXPECT_EQ(MotionRuntimeRepair::execute(tool, {}, world.paths.systemRoot).error, "Executable not found: " + tool);
    }
    EXPECT_EQ(MotionRuntimeRepair::execute(broken, {}, world.paths.systemRoot).status, -1);
    const auto report = [&](QString SystemTools::*tool = nullptr) {
        MotionRuntimeRepair::Context context = MotionRuntimeRepair::Context::of(world.environment());
        if (tool) {
            context.tools.*tool = missing;
        }
        return MotionRuntimeRepair::perform(context);
    };
    EXPECT_EQ(report(), (MotionRuntimeRepairReport{0, 0, 0})); // its message: see the panel's test

    packaging::writeMotionRuntime(world.path(userRoot + "MotionRuntime.app"));
    EXPECT_EQ(report().customerMessage(), "✓ 已修复完成");
    EXPECT_EQ(report(&SystemTools::codesign), (MotionRuntimeRepairReport{1, 0, 1}));
    EXPECT_EQ(report(&SystemTools::lsregister), (MotionRuntimeRepairReport{1, 0, 1}));
    // The extension is registered even when the application could not be.
    EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, "pluginkit").begin()->toObject().value("count"), 2);
}

TEST(MotionRuntimeRepairTest, RuntimesWithHostileInfoPlistsAreNotDiscoveredAndTheRepairEnds) {
    test::TestWorld world;
    const QString id = packaging::MotionRuntimeSpec().identifier;
    const auto write = [&](const QString &relative, packaging::MotionRuntimeSpec spec = {}) {
        return packaging::writeMotionRuntime(world.path(relative), spec);
    };
    const QString good = write(userRoot + "good/MotionRuntime.app");
    overwrite(write(userRoot + "xml/MotionRuntime.app") + "/Contents/Info.plist",
              test::xmlInfo(id, "ZelmFxPlugin", 200'000));
    overwrite(write(systemRoot + "binary/MotionRuntime.app") + "/Contents/Info.plist",
              test::binaryInfo(id, "ZelmFxPlugin", 200'000));
    overwrite(write(legacyRoot + "Legacy.app", {.identifier = legacy}) + "/Contents/Info.plist",
              test::binaryInfo(legacy, "ZelmFxPlugin", 200'000));
    const QString extension = write(userRoot + "extension/MotionRuntime.app") +
                              "/Contents/PlugIns/ZelmFxPluginXPC.pluginkit/Contents/Info.plist";
    overwrite(extension, test::withNestedArrays(readAll(extension), 200'000));
    // A terabyte that takes no room on disk.
    QFile sparse(write(userRoot + "sparse/MotionRuntime.app") + "/Contents/Info.plist");
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 40));
    sparse.close();

    EXPECT_EQ(appsOf(MotionRuntimeRepair::discover(world.paths, true, true)), QStringList{good});

    test::FakeInventoryHost model(world.environment());
    model.inventory().repairMotionPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isRepairingMotionRuntime(); }, std::chrono::minutes(1)));
    EXPECT_EQ(model.motionRepairMessage(), "✓ 已修复完成");
}

TEST(MotionRuntimeRepairTest, ARepairThatBreaksDownEndsAndSaysItIsUnfinished) {
    test::TestWorld world;
    packaging::writeMotionRuntime(world.path(userRoot + "MotionRuntime.app"));
    ModelEnvironment environment = world.environment();
    environment.workspace = std::make_shared<FailingWorkspace>();
    test::FakeInventoryHost model(environment);
    model.inventory().repairMotionPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isRepairingMotionRuntime(); }, std::chrono::minutes(1)));
    EXPECT_EQ(model.motionRepairMessage(), "Motion 运行组件修复未完成，请稍后再次点击修复。");
    EXPECT_TRUE(standin::readRegistry(world.paths.systemRoot, "launchservices").isEmpty());

    // And the next press repairs.
    environment.workspace = world.workspace;
    test::FakeInventoryHost again(environment);
    again.inventory().repairMotionPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return !again.isRepairingMotionRuntime(); }, std::chrono::minutes(1)));
    EXPECT_EQ(again.motionRepairMessage(), "✓ 已修复完成");
}

TEST(MotionRuntimeRepairTest, ARepairWhoseModelWentAwayEndsWithoutTouchingIt) {
    test::TestWorld world;
    packaging::writeMotionRuntime(world.path(userRoot + "MotionRuntime.app"));
    auto workspace = std::make_shared<HoldingWorkspace>();
    std::promise<void> release;
    workspace->released = release.get_future().share();
    ModelEnvironment environment = world.environment();
    environment.workspace = workspace;
    auto model = std::make_unique<test::FakeInventoryHost>(environment);
    test::LogWatcher log;
    model->inventory().repairMotionPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return workspace->entered.load(); }, std::chrono::minutes(1)));
    model.reset();
    release.set_value();
    EXPECT_TRUE(test::waitUntil([&] { return log.saw("a Motion runtime repair ended after its model went away"); },
                                std::chrono::minutes(1)));
}
