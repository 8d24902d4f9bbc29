// The stand-in codesign, lsregister and pluginkit, run as child processes on bundles the
// runtime builder writes.
#include "common/CodeSeal.h"
#include "common/Registry.h"
#include "install/InstallFixtures.h"
#include "packaging/MotionRuntimeBuilder.h"
#include "support/HostilePropertyLists.h"

#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quillon;
using packaging::Seal;

namespace {

class RuntimeStandInsTest : public ::testing::Test {
protected:
    RuntimeStandInsTest() { environment.insert(QStringLiteral("QUILLON_SANDBOX_ROOT"), world.paths.systemRoot); }

    test::ToolRun run(const QString &tool, const QStringList &arguments) {
        return test::runTool(tool, arguments, environment);
    }

    test::TestWorld world;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

QString extensionOf(const QString &app) { return app + QStringLiteral("/Contents/PlugIns/ZelmFxPluginXPC.pluginkit"); }

} // namespace

TEST_F(RuntimeStandInsTest, CodesignReportsEachFailureLikeTheRealTool) {
    const QStringList strict{QStringLiteral("--verify"), QStringLiteral("--deep"), QStringLiteral("--strict")};
    struct Case {
        const char *name;
        packaging::MotionRuntimeSpec spec;
        QStringList flags;
        int status;
        QString headline; ///< after "<path>: "
        QString detail;   ///< a later line, with <app> for the bundle path
    };
    const QList<Case> cases{
        {"signed", {}, strict, 0, {}, {}},
        {"unsigned", {.application = Seal::none}, strict, 1, "code object is not signed at all", {}},
        {"tampered", {.application = Seal::tampered}, strict, 1, "a sealed resource is missing or invalid",
         "file modified: <app>/Contents/MacOS/ZelmFxPlugin"},
        {"root", {.application = Seal::unsealedRoot}, strict, 1, "unsealed contents present in the bundle root", {}},
        {"added", {.extension = Seal::unsealedRoot}, strict, 1, "a sealed resource is missing or invalid",
         "file added: <app>/Contents/PlugIns/ZelmFxPluginXPC.pluginkit/notes.txt"},
        {"nested", {.extension = Seal::none}, strict, 1, "code object is not signed at all",
         "In subcomponent: <app>/Contents/PlugIns/ZelmFxPluginXPC.pluginkit"},
        {"shallow", {.extension = Seal::none}, {QStringLiteral("--verify")}, 0, {}, {}},
    };
    for (const Case &c : cases) {
        const QString app = packaging::writeMotionRuntime(world.path(QString::fromLatin1(c.name) + ".app"), c.spec);
        const test::ToolRun result = run(QStringLiteral("codesign"), c.flags + QStringList{app});
        EXPECT_EQ(result.exitCode, c.status) << c.name;
        const QStringList lines = QString::fromUtf8(result.err).split('\n', Qt::SkipEmptyParts);
        if (c.headline.isEmpty()) {
            EXPECT_TRUE(lines.isEmpty()) << c.name << result.err.constData();
            continue;
        }
        ASSERT_FALSE(lines.isEmpty()) << c.name;
        EXPECT_EQ(lines.first(), app + ": " + c.headline) << c.name;
        if (!c.detail.isEmpty()) {
            EXPECT_TRUE(lines.contains(QString(c.detail).replace("<app>", app))) << c.name << result.err.constData();
        }
    }

    const QString relative = QDir::current().relativeFilePath(world.path("signed.app"));
    EXPECT_EQ(run("codesign", strict + QStringList{relative}).exitCode, 0) << relative.toStdString();

    const QString nowhere = world.path("nowhere.app");
    EXPECT_EQ(run("codesign", {"--verify", nowhere}).err, (nowhere + ": No such file or directory\n").toUtf8());

    // --strict also refuses a sealed link that leads out of the bundle, and only such a link.
    const QString linked = packaging::writeMotionRuntime(world.path("linked.app"));
    QFile::link(QStringLiteral("../Info.plist"), linked + "/Contents/Resources/info");
    QString error;
    ASSERT_TRUE(standin::writeSeal(linked, error)) << error.toStdString();
    EXPECT_EQ(run("codesign", strict + QStringList{linked}).exitCode, 0);
    QFile::link(QStringLiteral("/etc/passwd"), linked + "/Contents/Resources/passwd");
    ASSERT_TRUE(standin::writeSeal(linked, error)) << error.toStdString();
    EXPECT_EQ(run("codesign", {"--verify", linked}).exitCode, 0);
    EXPECT_EQ(run("codesign", strict + QStringList{linked}).err,
              (linked + ": invalid destination for symbolic link in bundle\nlink: " + linked + "/Contents/Resources/passwd\n").toUtf8());
}

TEST_F(RuntimeStandInsTest, RegistrationsAreRecordedUnderTheSandboxRoot) {
    const QString app = packaging::writeMotionRuntime(world.path("运行组件/MotionRuntime.app"));
    const QString broken = packaging::writeMotionRuntime(world.path("broken/MotionRuntime.app"));
    QFile::remove(broken + "/Contents/MacOS/ZelmFxPlugin");

    // A registry that cannot be read is reported, never replaced.
    const QString registry = world.makeFolder("system/var/db/quillon-stand-ins/pluginkit.json");
    const test::ToolRun unreadable = run("pluginkit", {"-a", extensionOf(app)});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.err.contains("cannot read")) << unreadable.err.constData();
    QDir(registry).removeRecursively();

    EXPECT_EQ(run("lsregister", {"-f", app}).exitCode, 0);
    EXPECT_EQ(run("pluginkit", {"-a", extensionOf(app)}).exitCode, 0);
    EXPECT_EQ(run("pluginkit", {"-a", extensionOf(app)}).exitCode, 0);

    const QList<std::pair<QString, QStringList>> refused{
        {"lsregister", {"-f", extensionOf(app)}}, // not an application
        {"pluginkit", {"-a", app}},               // not a plug-in
        {"lsregister", {"-f", broken}},           // its executable is missing
        {"lsregister", {"-f", world.path("nowhere.app")}},
    };
    for (const auto &[tool, arguments] : refused) {
        const test::ToolRun result = run(tool, arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("cannot register")) << result.err.constData();
    }
    const auto entry = [](const QString &identifier, int count) {
        return QJsonObject{{"identifier", identifier}, {"count", count}};
    };
    const QString id = packaging::MotionRuntimeSpec().identifier;

    EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, "launchservices"), (QJsonObject{{app, entry(id, 1)}}));
    EXPECT_EQ(standin::readRegistry(world.paths.systemRoot, "pluginkit"),
              (QJsonObject{{extensionOf(app), entry(id + ".xpc", 2)}}));
}

TEST_F(RuntimeStandInsTest, UnknownArgumentsAndAMissingSandboxRootAreRefused) {
    const QString app = packaging::writeMotionRuntime(world.path("MotionRuntime.app"));
    const QList<std::pair<QString, QStringList>> usage{
        {"codesign", {"--verify"}},          {"codesign", {"--deep", app}},
        {"codesign", {"--verify", "-v", app}}, {"codesign", {"--verify", app, app}},
        {"lsregister", {"-u", app}},         {"lsregister", {"-f", app, app}},
        {"pluginkit", {}},                   {"pluginkit", {"-r", extensionOf(app)}},
    };
    for (const auto &[tool, arguments] : usage) {
        EXPECT_EQ(run(tool, arguments).exitCode, 2) << tool.toStdString() << ' ' << arguments.join(' ').toStdString();
    }
    environment.remove("QUILLON_SANDBOX_ROOT");
    EXPECT_EQ(run("codesign", {"--verify", app}).exitCode, 3);
    EXPECT_EQ(run("lsregister", {"-f", app}).exitCode, 3);
    EXPECT_EQ(run("pluginkit", {"-a", extensionOf(app)}).exitCode, 3);
    EXPECT_FALSE(QFileInfo::exists(standin::registryPath(world.paths.systemRoot, "launchservices")));
}

TEST_F(RuntimeStandInsTest, BundlesWhoseInfoPlistNestsTooDeepAreRefusedNotFollowedDown) {
    const QString app = packaging::writeMotionRuntime(world.path("MotionRuntime.app"));
    const QString info = extensionOf(app) + "/Contents/Info.plist";
    QFile extension(info);
    ASSERT_TRUE(extension.open(QIODevice::ReadOnly));
    const QByteArray deep = test::withNestedArrays(extension.readAll(), 200'000);
    extension.close();
    ASSERT_TRUE(extension.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(extension.write(deep), deep.size());
    extension.close();
    QFile application(app + "/Contents/Info.plist");
    const QByteArray binary = test::binaryInfo(packaging::MotionRuntimeSpec().identifier, "ZelmFxPlugin", 200'000);
    ASSERT_TRUE(application.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(application.write(binary), binary.size());
    application.close();

    const QList<std::pair<QString, QStringList>> runs{{"lsregister", {"-f", app}}, {"pluginkit", {"-a", extensionOf(app)}}};
    for (const auto &[tool, arguments] : runs) {
        const test::ToolRun result = run(tool, arguments);
        EXPECT_EQ(result.exitCode, 1) << tool.toStdString() << result.err.constData();
        EXPECT_TRUE(result.err.contains("nested deeper than 256 levels")) << result.err.constData();
    }
    EXPECT_EQ(run("quillon-motion-runtime", {app}).exitCode, 1);
}

TEST_F(RuntimeStandInsTest, TheRuntimeStandInPlaysOnlyAUsableBundleInsideTheSandbox) {
    const QString app = packaging::writeMotionRuntime(world.path("MotionRuntime.app"));
    QFile::remove(app + "/Contents/MacOS/ZelmFxPlugin");
    const test::ToolRun broken = run("quillon-motion-runtime", {app});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains("is missing")) << broken.err.constData();
    EXPECT_EQ(run("quillon-motion-runtime", {}).exitCode, 1);
    environment.remove("QUILLON_SANDBOX_ROOT");
    EXPECT_EQ(run("quillon-motion-runtime", {packaging::writeMotionRuntime(world.path("Other.app"))}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(world.path("system/var/run")));
}
