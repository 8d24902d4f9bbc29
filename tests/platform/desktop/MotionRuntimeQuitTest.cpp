// Running Motion runtimes are asked to quit by the repair through the desktop layer. Away
// from macOS a runtime is played by the stand-in quillon-motion-runtime, a real process that
// announces its bundle identifier under the sandbox root and quits when asked.
#include "install/InstallFixtures.h"
#include "model/PluginManager.h"
#include "packaging/MotionRuntimeBuilder.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/shared/AnnouncedApplications.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

using namespace quillon;

namespace {

const QString userRoot = QStringLiteral("home/Library/Application Support/Final Cut Pro/.MotionSupport/");

/// A stand-in runtime playing the bundle `app`; killed at the end if it is still running.
class RunningRuntime final {
public:
    RunningRuntime(const QString &app, const QString &systemRoot) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), systemRoot);
        process.setProcessEnvironment(environment);
        process.start(test::standIn(QStringLiteral("quillon-motion-runtime")), {app});
    }
    ~RunningRuntime() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    /// Waits until the runtime says `line` (it announces itself before it says it runs).
    bool says(const QByteArray &line) {
        return test::waitUntil([&] {
            output += process.readAllStandardOutput();
            return output.split('\n').contains(line) || process.state() == QProcess::NotRunning;
        }) && output.split('\n').contains(line);
    }
    bool quitWhenAsked() {
        return test::waitUntil([&] { return process.state() == QProcess::NotRunning; }) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && says("asked to quit");
    }

    QProcess process;
    QByteArray output;
};

QString identifierOf(const QString &tail) { return QStringLiteral("local.motiontemplate.runtime.") + tail; }

/// The process's state and start time, the third and the 22nd field of /proc/<id>/stat (the
/// second, its name in parentheses, may hold blanks and parentheses of its own).
std::pair<QString, QString> stateAndStartOf(qint64 id) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(id));
    if (!stat.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromLatin1(stat.readAll());
    const QStringList fields = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
    return {fields.value(0), fields.value(19)};
}

} // namespace

TEST(MotionRuntimeQuitTest, TheRepairAsksARunningRuntimeToQuitAndItGoes) {
    test::TestWorld world;
    const QString repaired = packaging::MotionRuntimeSpec().identifier;
    const QString elsewhere = identifierOf(QStringLiteral("ELSEWHERE-0001"));
    RunningRuntime runtime(packaging::writeMotionRuntime(world.path(userRoot + "a/MotionRuntime.app")),
                           world.paths.systemRoot);
    // Not in any place the repair looks: found by nobody, asked by nobody.
    RunningRuntime other(packaging::writeMotionRuntime(world.path("elsewhere/MotionRuntime.app"), {.identifier = elsewhere}),
                         world.paths.systemRoot);
    ASSERT_TRUE(runtime.says("running " + repaired.toUtf8())) << runtime.process.readAllStandardError().constData();
    ASSERT_TRUE(other.says("running " + elsewhere.toUtf8()));

    // Whatever else lies in the folder is passed over.
    QFile stray(QDir(announcementFolder(world.paths.systemRoot)).filePath(QStringLiteral("00-left-over")));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();

    auto workspace = std::make_shared<DesktopWorkspace>(QStringLiteral(QUILLON_TOOLS_DIR), world.paths.systemRoot);
    EXPECT_EQ(workspace->runningApplicationCount(repaired), 1);
    EXPECT_EQ(workspace->runningApplicationCount(elsewhere), 1);
    ModelEnvironment environment = world.environment();
    environment.workspace = workspace;
    PluginManager model(environment);
    model.repairMotionPlugins();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isRepairingMotionRuntime(); }, std::chrono::minutes(1)));
    EXPECT_EQ(model.motionRepairMessage(), QStringLiteral("✓ 已修复完成"));

    EXPECT_TRUE(runtime.quitWhenAsked()) << runtime.output.constData();
    EXPECT_EQ(workspace->runningApplicationCount(repaired), 0);
    EXPECT_EQ(QDir(announcementFolder(world.paths.systemRoot)).entryList(QDir::Files).size(), 2);

    EXPECT_EQ(other.process.state(), QProcess::Running);
    EXPECT_EQ(workspace->runningApplicationCount(elsewhere), 1);
    workspace->terminateApplications(elsewhere);
    EXPECT_TRUE(other.quitWhenAsked()) << other.output.constData();
    EXPECT_EQ(QDir(announcementFolder(world.paths.systemRoot)).entryList(QDir::Files), QStringList{"00-left-over"});
}

TEST(MotionRuntimeQuitTest, AnAnnouncementCountsOnlyWhileItsOwnProcessRuns) {
    test::TestWorld world;
    const QString identifier = identifierOf(QStringLiteral("LEFT-BEHIND-01"));
    DesktopWorkspace workspace(QStringLiteral(QUILLON_TOOLS_DIR), world.paths.systemRoot);
    const auto announce = [&](qint64 id, const QString &started) {
        const QString folder = announcementFolder(world.paths.systemRoot);
        QDir().mkpath(folder);
        QFile file(QDir(folder).filePath(QString::number(id)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"bundleIdentifier", identifier}, {"started", started}}).toJson());
    };

    // A runtime crashed and left its file; its number now belongs to another process of the
    // user, started at another time. That process is neither counted nor signalled.
    QProcess bystander;
    bystander.start(QStringLiteral("cat"));
    ASSERT_TRUE(bystander.waitForStarted());
    announce(bystander.processId(), QStringLiteral("1"));
    // And one whose process has ended altogether.
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ASSERT_TRUE(ended.waitForFinished());
    announce(ended.processId(), QStringLiteral("1"));

    EXPECT_EQ(workspace.runningApplicationCount(identifier), 0);
    workspace.terminateApplications(identifier);
    // A signal would have been delivered at once; the bystander still answers.
    bystander.write("still here\n");
    EXPECT_TRUE(test::waitUntil([&] { return bystander.canReadLine() || bystander.state() == QProcess::NotRunning; }));
    EXPECT_EQ(bystander.readLine(), QByteArray("still here\n"));

    // A process that has ended but was not reaped yet (its parent, cat, never waits for it)
    // is gone too, even with its own start time. The child ends only once the shell has
    // become cat: a child that ended earlier could be reaped by the shell itself.
    QProcess parent;
    parent.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("shell=$$; (while read -r name < /proc/$shell/comm && "
                                                       "[ \"$name\" != cat ]; do :; done) & echo $!; exec cat")});
    ASSERT_TRUE(test::waitUntil([&] { return parent.canReadLine(); }));
    const qint64 zombie = parent.readLine().trimmed().toLongLong();
    ASSERT_TRUE(test::waitUntil([&] { return stateAndStartOf(zombie).first == QStringLiteral("Z"); }));
    announce(zombie, stateAndStartOf(zombie).second);
    EXPECT_EQ(workspace.runningApplicationCount(identifier), 0);
    parent.closeWriteChannel();
    EXPECT_TRUE(parent.waitForFinished());

    // With its own start time, the bystander's announcement is honoured: counted, and asked to quit.
    announce(bystander.processId(), stateAndStartOf(bystander.processId()).second);
    EXPECT_EQ(workspace.runningApplicationCount(identifier), 1);
    workspace.terminateApplications(identifier);
    EXPECT_TRUE(bystander.waitForFinished());
    EXPECT_EQ(bystander.exitStatus(), QProcess::CrashExit); // ended by the signal
}
