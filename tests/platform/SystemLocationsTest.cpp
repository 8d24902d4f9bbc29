#include "platform/SystemPaths.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace quillon;

TEST(SystemPathsTest, TheSandboxVariableMovesTheSystemRoot) {
    qputenv(SystemPaths::sandboxRootVariable, "/tmp/quillon-trial/");
    const SystemPaths moved = SystemPaths::current();
    qunsetenv(SystemPaths::sandboxRootVariable);
    EXPECT_EQ(moved.systemRoot, QStringLiteral("/tmp/quillon-trial"));
    EXPECT_EQ(moved.underSystemRoot(QStringLiteral("/Library/Application Support/Final Cut Pro")),
              QStringLiteral("/tmp/quillon-trial/Library/Application Support/Final Cut Pro"));

    const SystemPaths real = SystemPaths::current();
    EXPECT_EQ(real.systemRoot, QStringLiteral("/"));
    EXPECT_EQ(real.underSystemRoot(QStringLiteral("/Library/x")), QStringLiteral("/Library/x"));
    EXPECT_EQ(real.home, QDir::homePath());
    EXPECT_FALSE(real.applicationSupport.isEmpty());
    EXPECT_FALSE(real.downloads.isEmpty());
}

TEST(SystemToolsTest, MacOSPathsAndStandIns) {
    const SystemTools mac = SystemTools::macOS();
    EXPECT_EQ(mac.osascript, QStringLiteral("/usr/bin/osascript"));
    EXPECT_EQ(mac.installer, QStringLiteral("/usr/sbin/installer"));
    EXPECT_EQ(mac.codesign, QStringLiteral("/usr/bin/codesign"));
    EXPECT_EQ(mac.pluginkit, QStringLiteral("/usr/bin/pluginkit"));
    EXPECT_EQ(mac.rm, QStringLiteral("/bin/rm"));
    EXPECT_TRUE(mac.lsregister.endsWith(QStringLiteral("/lsregister")));

    const SystemTools stand = SystemTools::standIns(QStringLiteral("/opt/q/tools"));
    EXPECT_EQ(stand.osascript, QStringLiteral("/opt/q/tools/osascript"));
    EXPECT_EQ(stand.installer, QStringLiteral("/opt/q/tools/installer"));
    EXPECT_EQ(stand.rm, QStringLiteral("/bin/rm"));
}
