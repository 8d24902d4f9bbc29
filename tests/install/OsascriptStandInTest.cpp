// The osascript stand-in, run as a child process the way the runners run it.
#include "InstallFixtures.h"
#include "support/ScriptedPrompts.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillon;
using test::runTool;

namespace {

class OsascriptStandInTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString canary = dir.filePath(QStringLiteral("canary"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    test::ToolRun run(const QStringList &arguments) { return runTool(QStringLiteral("osascript"), arguments, environment); }
    test::ToolRun runScript(const QString &script) { return run({QStringLiteral("-e"), appleScriptSource(script)}); }
};

} // namespace

TEST_F(OsascriptStandInTest, ReturnsTheOutputLinesJoinedByCarriageReturnsWithoutAFinalLineEnd) {
    const test::ToolRun result = runScript(QStringLiteral("printf 'first\\nsecond\\n'; echo third"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray("first\rsecond\rthird"));
    EXPECT_EQ(result.err, QByteArray());
}

TEST_F(OsascriptStandInTest, UndoesTheAppleScriptEscapingBeforeTheShellSeesTheScript) {
    // Double quotes, backslashes and a quoted single quote all reach /bin/sh as written.
    const test::ToolRun result = runScript(QStringLiteral("printf '%s|' 'a\"b' 'c\\d' 'it'\\''s' \"q\\\"r\""));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray("a\"b|c\\d|it's|q\"r|"));
}

TEST_F(OsascriptStandInTest, AppleScriptLineEscapesBecomeTheirCharacters) {
    const QString source = QStringLiteral("do shell script \"printf 'a\\tb'\\necho c\" with administrator privileges");
    const test::ToolRun result = run({QStringLiteral("-e"), source});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray("a\tbc"));
}

TEST_F(OsascriptStandInTest, NonZeroStatusIsAnExecutionErrorWithTheOutputAndTheStatus) {
    const test::ToolRun withError = runScript(QStringLiteral("echo partial; echo 'disk full' >&2; exit 7"));
    EXPECT_NE(withError.exitCode, 0);
    EXPECT_TRUE(withError.err.contains("execution error: disk full (7)")) << withError.err.constData();

    const test::ToolRun onlyOutput = runScript(QStringLiteral("printf 'line 1\\nline 2\\n'; exit 3"));
    EXPECT_NE(onlyOutput.exitCode, 0);
    EXPECT_TRUE(onlyOutput.err.contains("execution error: line 1\rline 2 (3)")) << onlyOutput.err.constData();

    const test::ToolRun silent = runScript(QStringLiteral("exit 2"));
    EXPECT_NE(silent.exitCode, 0);
    EXPECT_TRUE(silent.err.contains("(2)")) << silent.err.constData();
}

TEST_F(OsascriptStandInTest, ScriptsReadNothingFromStandardInput) {
    const test::ToolRun result = runScript(QStringLiteral("cat; echo done"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray("done"));
}

TEST_F(OsascriptStandInTest, RefusesEverythingElseAndRunsNothing) {
    const QString touch = QStringLiteral("touch '") + canary + QStringLiteral("'");
    const QList<QStringList> refused{
        {},
        {QStringLiteral("-e")},
        {QStringLiteral("-e"), appleScriptSource(touch), QStringLiteral("extra")},
        {QStringLiteral("-l"), appleScriptSource(touch)},
        {QStringLiteral("-e"), QStringLiteral("display dialog \"hello\"")},
        {QStringLiteral("-e"), QStringLiteral("do shell script \"") + touch + QStringLiteral("\"")},
        {QStringLiteral("-e"), QStringLiteral("do shell script \"echo \"") + QStringLiteral(" & \"") + touch +
                                   QStringLiteral("\" with administrator privileges")},
        {QStringLiteral("-e"), QStringLiteral("do shell script \"") + touch + QStringLiteral("\\q\" with administrator privileges")},
        {QStringLiteral("-e"), QStringLiteral("do shell script \"") + touch + QStringLiteral("\\\" with administrator privileges")},
    };
    for (const QStringList &arguments : refused) {
        const test::ToolRun result = run(arguments);
        EXPECT_NE(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.err.startsWith("osascript (stand-in): ")) << result.err.constData();
        EXPECT_GT(result.err.size(), 30) << "the refusal says why";
        EXPECT_EQ(result.out, QByteArray());
    }
    EXPECT_FALSE(QFileInfo::exists(canary));
}

TEST_F(OsascriptStandInTest, CancelledPromptsFailLikeAppleScriptAndRunNothing) {
    test::ScriptedPrompts prompts({QStringLiteral("run"), QStringLiteral("cancel")});
    environment = QProcessEnvironment::systemEnvironment();
    QStringList scripts;
    QList<int> statuses;
    for (int i = 1; i <= 3; ++i) {
        scripts.append(QStringLiteral("touch '%1%2'").arg(canary).arg(i));
        const test::ToolRun result = runScript(scripts.last());
        statuses.append(result.exitCode);
        EXPECT_EQ(result.err.contains("execution error: User canceled. (-128)"), i == 2) << result.err.constData();
    }
    EXPECT_EQ(statuses, (QList<int>{0, 1, 0})); // the answers ran out: the third runs
    EXPECT_TRUE(QFileInfo::exists(canary + "1"));
    EXPECT_FALSE(QFileInfo::exists(canary + "2"));
    EXPECT_TRUE(QFileInfo::exists(canary + "3"));
    EXPECT_EQ(prompts.scripts(), scripts);

    test::ScriptedPrompts unknown({QStringLiteral("maybe")});
    environment = QProcessEnvironment::systemEnvironment();
    const QString touch = QStringLiteral("touch '") + canary + QStringLiteral("'");
    EXPECT_TRUE(runScript(touch).err.contains("unknown answer \"maybe\""));

    environment.insert(QStringLiteral("QUILLON_OSASCRIPT_CANCEL"), QStringLiteral("1")); // cancels whatever the answers
    EXPECT_TRUE(runScript(touch).err.contains("execution error: User canceled. (-128)"));
    EXPECT_FALSE(QFileInfo::exists(canary));
}
