#include "install/BatchInstallResult.h"
#include "records/AdministratorCommand.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(ShellQuotingTest, PathsAreSingleQuotedWithQuotesWrittenAsFourCharacters) {
    EXPECT_EQ(shellQuoted(QStringLiteral("/tmp/a b.pkg")), QStringLiteral("'/tmp/a b.pkg'"));
    EXPECT_EQ(shellQuoted(QStringLiteral("/Users/me/Tom's/x.pkg")), QStringLiteral("'/Users/me/Tom'\\''s/x.pkg'"));
    EXPECT_EQ(shellQuoted(QStringLiteral("''")), QStringLiteral("''\\'''\\'''"));
    EXPECT_EQ(shellQuoted(QString()), QStringLiteral("''"));
    // Everything else the shell would act on stays inside the quotes as it is.
    EXPECT_EQ(shellQuoted(QStringLiteral("$(rm -rf ~)`x`;&|\\\"\n中文")),
              QStringLiteral("'$(rm -rf ~)`x`;&|\\\"\n中文'"));
}

TEST(ShellQuotingTest, ToolPathsStayBareOnlyWhenTheShellTakesThemLiterally) {
    EXPECT_EQ(shellWord(QStringLiteral("/usr/sbin/installer")), QStringLiteral("/usr/sbin/installer"));
    EXPECT_EQ(shellWord(QStringLiteral("/opt/my tools/installer")), QStringLiteral("'/opt/my tools/installer'"));
    EXPECT_EQ(shellWord(QStringLiteral("/opt/$HOME/installer")), QStringLiteral("'/opt/$HOME/installer'"));
    EXPECT_EQ(shellWord(QString()), QStringLiteral("''"));
}

TEST(AppleScriptEmbeddingTest, BackslashesAreDoubledBeforeDoubleQuotesAreEscaped) {
    EXPECT_EQ(appleScriptSource(QStringLiteral("echo hi")),
              QStringLiteral("do shell script \"echo hi\" with administrator privileges"));
    // A quoted single quote: its backslash is doubled in the source.
    EXPECT_EQ(appleScriptSource(QStringLiteral("x '\\'' y")),
              QStringLiteral("do shell script \"x '\\\\'' y\" with administrator privileges"));
    // \" must become \\\" (three backslashes), not \\" as escaping in the other order gives.
    EXPECT_EQ(appleScriptSource(QStringLiteral("a\\\"b")),
              QStringLiteral("do shell script \"a\\\\\\\"b\" with administrator privileges"));
}

TEST(CommandOutputTest, InvalidUtf8GivesTheEmptyText) {
    EXPECT_EQ(decodeCommandOutput(QByteArray("安装\r完成")), QStringLiteral("安装\r完成"));
    EXPECT_EQ(decodeCommandOutput(QByteArray("Vrel_OK_0\r\xff\xfe")), QString());
    EXPECT_EQ(decodeCommandOutput(QByteArray("\xe5\xae")), QString()); // cut in the middle of a character
    EXPECT_EQ(decodeCommandOutput(QByteArray()), QString());
}

TEST(BatchScriptTest, OneLinePerPackageInTheExactFormat) {
    const QString script = BatchInstallResult::command(
        {QStringLiteral("/tmp/a.pkg"), QStringLiteral("/tmp/it's.pkg")}, QStringLiteral("/usr/sbin/installer"));
    EXPECT_EQ(script,
              QStringLiteral("if '/usr/sbin/installer' -pkg '/tmp/a.pkg' -target / >/dev/null 2>&1; "
                             "then echo Vrel_OK_0; else echo Vrel_FAIL_0; fi\n"
                             "if '/usr/sbin/installer' -pkg '/tmp/it'\\''s.pkg' -target / >/dev/null 2>&1; "
                             "then echo Vrel_OK_1; else echo Vrel_FAIL_1; fi"));
    EXPECT_EQ(BatchInstallResult::command({}, QStringLiteral("/usr/sbin/installer")), QString());
}

TEST(BatchSuccessesTest, ReadsTheSuccessMarkersOfTheGivenRange) {
    const QString output = QStringLiteral("Vrel_OK_0\rVrel_FAIL_1\rVrel_OK_2");
    EXPECT_EQ(BatchInstallResult::successes(output, 3), (QSet<int>{0, 2}));
    EXPECT_EQ(BatchInstallResult::successes(output, 2), (QSet<int>{0}));
    EXPECT_EQ(BatchInstallResult::successes(output, 0), QSet<int>());
}

TEST(BatchSuccessesTest, SplitsAtEveryLineSeparatorAndTrimsBlanks) {
    const QString output = QStringLiteral("  Vrel_OK_0 \nVrel_OK_1\r\nVrel_OK_2\x0bVrel_OK_3\x0c"
                                          "Vrel_OK_4\u0085Vrel_OK_5\u2028Vrel_OK_6\u2029\tVrel_OK_7\t");
    EXPECT_EQ(BatchInstallResult::successes(output, 8), (QSet<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(BatchSuccessesTest, OnlyWholeNumbersInRangeCount) {
    const QString output = QStringLiteral("Vrel_OK_1a\rVrel_OK_\rVrel_OK_ 2\rVrel_OK_+3\rVrel_OK_-0\r"
                                          "Vrel_OK_-4\rVrel_OK_99999999999999999999\rVrel_OK_5\rVrel_OK_5\r"
                                          "x Vrel_OK_6\rVrel_FAIL_7\rVrel_OK_7.0\rVrel_OK_９");
    EXPECT_EQ(BatchInstallResult::successes(output, 10), (QSet<int>{0, 3, 5}));
}
