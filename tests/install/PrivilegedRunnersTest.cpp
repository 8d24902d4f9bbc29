// The three privileged runners, through the real stand-in osascript and installer as
// child processes, installing real packages under the world's system root.
#include "InstallFixtures.h"

#include "install/BatchInstallResult.h"
#include "model/PluginManager.h"
#include "platform/Failure.h"
#include "records/InstallError.h"

#include <gtest/gtest.h>

using namespace quillon;
using test::PackageBuilder;
using test::ScopedEnvironment;

namespace {

class PrivilegedRunnersTest : public ::testing::Test {
protected:
    test::TestWorld world;
    PrivilegedTools tools = test::privilegedTools(world);
    QString titles = world.paths.systemRoot + test::titlesLocation;

    /// A package at `folder`/`name` whose payload holds `entry` with `contents`.
    QString package(const QString &folder, const QString &name, const QString &entry, const QByteArray &contents) {
        const QString dir = world.makeFolder(QStringLiteral("tmp/") + folder);
        const QString path = QDir(dir).filePath(name);
        PackageBuilder(test::titlesLocation).file(entry, contents).write(path);
        return path;
    }
    QString broken(const QString &name) { return world.writeFile(QStringLiteral("tmp/") + name, "not a package"); }
    QByteArray installed(const QString &entry) const { return test::readAll(titles + QLatin1Char('/') + entry); }
};

} // namespace

TEST_F(PrivilegedRunnersTest, InstallInBackgroundInstallsEveryPackageInOrder) {
    const QString first = package(QStringLiteral("a"), QStringLiteral("one.pkg"), QStringLiteral("Shared/v.txt"), "first");
    const QString second = package(QStringLiteral("b"), QStringLiteral("two.pkg"), QStringLiteral("Shared/v.txt"), "second");
    PluginManager::installInBackground({first, second}, tools);
    EXPECT_EQ(installed(QStringLiteral("Shared/v.txt")), QByteArray("second")); // the later one wrote last
}

TEST_F(PrivilegedRunnersTest, InstallInBackgroundStopsAtTheFirstFailureAndLogsTheInstallersMessage) {
    const QString good = package(QStringLiteral("a"), QStringLiteral("one.pkg"), QStringLiteral("one.txt"), "1");
    const QString bad = broken(QStringLiteral("bad.pkg"));
    const QString after = package(QStringLiteral("c"), QStringLiteral("three.pkg"), QStringLiteral("three.txt"), "3");
    try {
        PluginManager::installInBackground({good, bad, after}, tools);
        FAIL() << "a malformed package must fail the run";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::installerFailed);
        EXPECT_TRUE(error.output().contains(QStringLiteral("is not a flat package"))) << error.output().toStdString();
        EXPECT_EQ(error.output(), error.output().trimmed());
        // The installer's own words are for the log; the user reads the installer's failure.
        EXPECT_EQ(error.description(), QStringLiteral("macOS 安装器执行失败"));
    }
    EXPECT_EQ(installed(QStringLiteral("one.txt")), QByteArray("1"));
    EXPECT_FALSE(QFileInfo::exists(titles + QStringLiteral("/three.txt")));
}

TEST_F(PrivilegedRunnersTest, InstallInBackgroundWithNoPackagesRunsNothing) {
    PrivilegedTools absent = tools;
    absent.osascript = world.path(QStringLiteral("no-such-osascript"));
    EXPECT_NO_THROW(PluginManager::installInBackground({}, absent)); // launching would have thrown
}

TEST_F(PrivilegedRunnersTest, BatchReportsExactlyThePackagesThatInstalled) {
    const QStringList packages{
        package(QStringLiteral("a"), QStringLiteral("0.pkg"), QStringLiteral("zero.txt"), "0"),
        broken(QStringLiteral("1.pkg")),
        package(QStringLiteral("c"), QStringLiteral("2.pkg"), QStringLiteral("two.txt"), "2"),
        world.path(QStringLiteral("tmp/missing.pkg")),
        [&] { // an unsafe payload fails on its own, too
            const QString path = world.path(QStringLiteral("tmp/4.pkg"));
            PackageBuilder(test::titlesLocation).file(QStringLiteral("../../escape.txt"), "x").write(path);
            return path;
        }(),
        package(QStringLiteral("f"), QStringLiteral("5.pkg"), QStringLiteral("five.txt"), "5"),
    };
    EXPECT_EQ(PluginManager::installBatchWithResults(packages, tools), (QSet<int>{0, 2, 5}));
    EXPECT_EQ(installed(QStringLiteral("zero.txt")), QByteArray("0"));
    EXPECT_EQ(installed(QStringLiteral("two.txt")), QByteArray("2"));
    EXPECT_EQ(installed(QStringLiteral("five.txt")), QByteArray("5"));
    EXPECT_FALSE(QFileInfo::exists(world.paths.systemRoot + QStringLiteral("/Library/Application Support/escape.txt")));
}

TEST_F(PrivilegedRunnersTest, BatchWithNoPackagesStillRunsOnceAndFindsNothing) {
    EXPECT_EQ(PluginManager::installBatchWithResults({}, tools), QSet<int>());
    PrivilegedTools absent = tools;
    absent.osascript = world.path(QStringLiteral("no-such-osascript"));
    EXPECT_THROW(PluginManager::installBatchWithResults({}, absent), PlatformError);
}

TEST_F(PrivilegedRunnersTest, ACancelledPasswordPromptFailsTheWholeRunAsCancelled) {
    const ScopedEnvironment cancel("QUILLON_OSASCRIPT_CANCEL", "1");
    const QStringList packages{package(QStringLiteral("a"), QStringLiteral("0.pkg"), QStringLiteral("zero.txt"), "0"),
                               package(QStringLiteral("b"), QStringLiteral("1.pkg"), QStringLiteral("one.txt"), "1")};
    try {
        PluginManager::installBatchWithResults(packages, tools);
        FAIL() << "a cancelled prompt must fail the batch";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::administratorCancelled);
        EXPECT_EQ(error.description(), QStringLiteral("已取消管理员授权。"));
        EXPECT_TRUE(error.output().contains(QStringLiteral("User canceled. (-128)")));
        EXPECT_TRUE(error.output().endsWith(QLatin1Char('\n'))) << "the batch keeps the output untrimmed";
    }
    try {
        PluginManager::installInBackground(packages, tools);
        FAIL() << "a cancelled prompt must fail the install";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::administratorCancelled);
        EXPECT_EQ(error.description(), QStringLiteral("已取消管理员授权。"));
        EXPECT_TRUE(error.output().endsWith(QStringLiteral("User canceled. (-128)")));
    }
    EXPECT_FALSE(QFileInfo::exists(titles));
}

TEST_F(PrivilegedRunnersTest, AnOsascriptThatCannotStartIsThePlatformsError) {
    PrivilegedTools absent = tools;
    absent.osascript = world.path(QStringLiteral("no-such-osascript"));
    const QString pkg = package(QStringLiteral("a"), QStringLiteral("0.pkg"), QStringLiteral("zero.txt"), "0");
    EXPECT_THROW(PluginManager::installInBackground({pkg}, absent), PlatformError);
    try {
        PluginManager::installBatchWithResults({pkg}, absent);
        FAIL() << "a runner that cannot start must fail";
    } catch (const PlatformError &error) {
        EXPECT_EQ(error.description(), QStringLiteral("无法请求管理员授权")) << "the platform's own words are for the log";
    }
}

TEST_F(PrivilegedRunnersTest, AdministratorCommandsRunAndFailKeepingTheirTrimmedOutputForTheLog) {
    PluginManager model{world.environment()};
    const QString target = world.path(QStringLiteral("tmp/it's made.txt"));
    model.runAdministratorCommand(QStringLiteral("printf done > ") + shellQuoted(target));
    EXPECT_EQ(test::readAll(target), QByteArray("done"));

    try {
        model.runAdministratorCommand(QStringLiteral("echo '  cannot remove  ' >&2; exit 4"));
        FAIL() << "a failing command must throw";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::installerFailed);
        EXPECT_EQ(error.output(), QStringLiteral("0:%1: execution error:   cannot remove   (4)")
                                      .arg(appleScriptSource(QStringLiteral("echo '  cannot remove  ' >&2; exit 4")).size()));
        EXPECT_EQ(error.description(), QStringLiteral("macOS 安装器执行失败"));
    }
}

TEST_F(PrivilegedRunnersTest, OutputThatIsNotUtf8IsEmpty) {
    PluginManager model{world.environment()};
    try {
        model.runAdministratorCommand(QStringLiteral("printf 'bad \\377 bytes' >&2; exit 1"));
        FAIL() << "a failing command must throw";
    } catch (const InstallError &error) {
        EXPECT_EQ(error.detail(), QString());
        EXPECT_EQ(error.output(), QString());
        EXPECT_EQ(error.description(), QStringLiteral("macOS 安装器执行失败"));
    }
    const AdministratorRun run = runAdministratorScript(QStringLiteral("printf 'Vrel_OK_0\\n\\377'"), tools);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output, QString());
    EXPECT_EQ(BatchInstallResult::successes(run.output, 1), QSet<int>());
}

TEST_F(PrivilegedRunnersTest, ALongOutputIsReadWhileTheCommandRuns) {
    const AdministratorRun run =
        runAdministratorScript(QStringLiteral("i=0; while [ $i -lt 4000 ]; do echo 'line of output to fill the pipe'; i=$((i+1)); done"), tools);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output.count(QLatin1Char('\r')), 3999);
}

TEST_F(PrivilegedRunnersTest, AScriptTooLongForOneArgumentRunsFromAPrivateFileThatGoesAfterwards) {
    const QString target = world.path(QStringLiteral("tmp/long.txt"));
    const QString script = QStringLiteral("# ") + QString(200 * 1024, QLatin1Char('x')) +
                           QStringLiteral("\nprintf \"it's done\" > ") + shellQuoted(target) +
                           QStringLiteral("; echo Vrel_OK_0");
    const AdministratorRun run = runAdministratorScript(script, tools);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output, QStringLiteral("Vrel_OK_0"));
    EXPECT_EQ(test::readAll(target), QByteArray("it's done"));
    EXPECT_EQ(QDir(world.paths.temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("long.txt")});
}

// ---- Hostile package paths ----

namespace {

/// Folder names that would run a command, end a quote or split a word if a path ever
/// reached the shell or AppleScript unquoted. Each writes the canary when it runs.
QStringList hostileNames() {
    return {
        QStringLiteral("it's"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("back\\slash\\"),
        QStringLiteral("$(touch \"$QUILLON_CANARY\")"),
        QStringLiteral("`touch \"$QUILLON_CANARY\"`"),
        QStringLiteral("a;touch \"$QUILLON_CANARY\""),
        QStringLiteral("a&touch \"$QUILLON_CANARY\"&"),
        QStringLiteral("a|touch \"$QUILLON_CANARY\""),
        QStringLiteral(" with  spaces "),
        QStringLiteral("new\nline;touch \"$QUILLON_CANARY\""),
        QStringLiteral("中文 插件（试用）"),
        QStringLiteral("'; touch \"$QUILLON_CANARY\"; '"),
        QStringLiteral("\\'$(touch \"$QUILLON_CANARY\")\\'"),
        QStringLiteral("\"; touch \\\"$QUILLON_CANARY\\\"; echo \""),
        QStringLiteral("\\\" with administrator privileges & do shell script \\\"touch $QUILLON_CANARY"),
        QStringLiteral("${QUILLON_CANARY}"),
        QStringLiteral("x' -target x; touch \"$QUILLON_CANARY\" #"),
    };
}

class HostilePathsTest : public PrivilegedRunnersTest {
protected:
    QString canary = world.path(QStringLiteral("canary"));
    ScopedEnvironment canaryVariable{"QUILLON_CANARY", QFile::encodeName(canary)};
    QStringList names = hostileNames();

    /// One package per hostile name, in a folder of that name; its payload file bears the name too.
    QStringList packages() {
        QStringList paths;
        for (qsizetype i = 0; i < names.size(); ++i) {
            paths.append(package(QStringLiteral("%1/%2").arg(i).arg(names[i]), names[i] + QStringLiteral(".pkg"),
                                 QStringLiteral("hostile-%1/%2.txt").arg(i).arg(names[i]), names[i].toUtf8()));
        }
        return paths;
    }
    void expectEachInstalledWhereItsPayloadSays() {
        for (qsizetype i = 0; i < names.size(); ++i) {
            EXPECT_EQ(installed(QStringLiteral("hostile-%1/%2.txt").arg(i).arg(names[i])), names[i].toUtf8())
                << names[i].toStdString();
        }
        // Nothing else appeared beside them.
        EXPECT_EQ(QDir(titles).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), names.size());
        EXPECT_FALSE(QFileInfo::exists(canary)) << "a path was run as a command";
    }
};

} // namespace

TEST_F(HostilePathsTest, InstallInBackgroundInstallsEachExactlyAndRunsNothing) {
    PluginManager::installInBackground(packages(), tools);
    expectEachInstalledWhereItsPayloadSays();
}

TEST_F(HostilePathsTest, BatchInstallsEachExactlyAndRunsNothing) {
    const QStringList paths = packages();
    QSet<int> all;
    for (int i = 0; i < paths.size(); ++i) {
        all.insert(i);
    }
    EXPECT_EQ(PluginManager::installBatchWithResults(paths, tools), all);
    expectEachInstalledWhereItsPayloadSays();
}

TEST_F(HostilePathsTest, AdministratorCommandsWithQuotedHostilePathsTouchOnlyThosePaths) {
    PluginManager model{world.environment()};
    QStringList commands;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString dir = world.makeFolder(QStringLiteral("tmp/cmd-%1").arg(i));
        commands.append(QStringLiteral("printf ok > ") + shellQuoted(QDir(dir).filePath(names[i])));
    }
    try {
        model.runAdministratorCommand(commands.join(QStringLiteral(" && ")));
    } catch (const InstallError &error) {
        FAIL() << error.output().toStdString();
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QDir dir(world.path(QStringLiteral("tmp/cmd-%1").arg(i)));
        EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden), QStringList{names[i]});
        EXPECT_EQ(test::readAll(dir.filePath(names[i])), QByteArray("ok"));
    }
    EXPECT_FALSE(QFileInfo::exists(canary));
}

TEST_F(HostilePathsTest, TheCanaryWouldBeWrittenIfANameWereRunUnquoted) {
    // Proves the corpus is armed: the same names, pasted into a command without quoting, do run.
    PluginManager model{world.environment()};
    EXPECT_ANY_THROW(model.runAdministratorCommand(QStringLiteral("echo ") + names[3] + QStringLiteral(" >/dev/null; exit 1")));
    EXPECT_TRUE(QFileInfo::exists(canary));
}
