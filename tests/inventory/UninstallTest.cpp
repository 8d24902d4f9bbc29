// Uninstall over real template trees, through the real runner, the stand-in osascript and
// an rm that records its arguments before it runs the real one.
#include "core/PluginManager.h"
#include "install/InstallFixtures.h"
#include "install/InstallRecords.h"
#include "inventory/TemplateScan.h"
#include "inventory/Uninstall.h"
#include "support/ScriptedPrompts.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

using namespace quillon;

namespace {

const QString systemTree = QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized/");
const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized/");

class UninstallTest : public ::testing::Test {
protected:
    UninstallTest() {
        // Commands run in a folder of the world, so a name that escaped its quotes would leave its canary here.
        QDir::setCurrent(world.makeFolder("cwd"));
        const QString rm = world.writeFile("bin/rm", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> '" +
                                                         world.path("rm.log").toUtf8() + "'; done\nexec /bin/rm \"$@\"\n");
        QFile::setPermissions(rm, QFile::ReadOwner | QFile::ExeOwner);
        ModelEnvironment environment = world.environment();
        environment.tools.rm = rm;
        model = std::make_unique<PluginManager>(environment);
        QObject::connect(model.get(), &PluginManager::changed, [this] {
            if (messages.value(messages.size() - 1) != model->installMessage()) {
                messages.append(model->installMessage());
            }
        });
    }
    ~UninstallTest() override { QDir::setCurrent(previous); }

    /// The arguments of every rm run, one list per run.
    QList<QStringList> rmRuns() const {
        QFile log(world.path("rm.log"));
        QList<QStringList> runs;
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &argument : log.readAll().split('\0')) {
                if (argument == "-rf") {
                    runs.append(QStringList{});
                }
                if (!argument.isEmpty()) {
                    runs.last().append(QString::fromUtf8(argument));
                }
            }
        }
        return runs;
    }

    QList<InstalledPlugin> scanned() {
        model->refreshInstalledPlugins();
        return model->allTemplatePlugins();
    }

    void waitForTheRun() { ASSERT_TRUE(test::waitUntil([&] { return !model->isWorking(); }, std::chrono::minutes(1))); }

    QString previous = QDir::currentPath();
    test::TestWorld world;
    std::unique_ptr<PluginManager> model;
    QStringList messages;
};

QString receiptKey(const QString &productKey) { return installedPathsDefaultsKey(InstallRecord::installReceipt, productKey); }

} // namespace

TEST_F(UninstallTest, OnlyPluginFoldersDirectlyInsideARealCategoryFolderMayBeRemoved) {
    const QStringList roots = templateRoots(world.paths);
    const QString titles = roots[0] + "/Titles.localized";
    const QString a = world.makeFolder(systemTree + "Titles.localized/A");
    const QString b = world.makeFolder(userTree + "Effects.localized/B");
    world.makeFolder("elsewhere/C");
    QFile::link(world.path("elsewhere"), roots[1] + "/Transitions.localized");

    EXPECT_EQ(removablePluginFolders({a, a, b}, roots), (QStringList{a, b}));
    const QList<QStringList> refused{
        {titles},
        {titles + "/../../etc"},
        {titles + "/A/inner"},
        {titles + "/A/"},
        {titles + "/.localized"},
        {roots[0] + "/Other.localized/A"},
        {roots[1] + "/Transitions.localized/C"},
        {world.path("elsewhere/C")},
        {"Titles.localized/A"},
        {a, world.path("elsewhere/C")}, // one refused path refuses the whole plug-in
        {},
    };
    for (const QStringList &paths : refused) {
        EXPECT_THROW(removablePluginFolders(paths, roots), UninstallRefused) << paths.join(' ').toStdString();
    }
}

TEST_F(UninstallTest, HostileNamesEachReachRmAsOneArgument) {
    QStringList names{"it's", "back\\slash", "$(touch canary)", "`touch canary`", "x; touch canary",
                      "tab\there", "-rf leading", "quote\"double", "* > canary | :x"};
    for (const QString &name : names) {
        world.makeFolder(userTree + "Titles.localized/" + name);
    }
    // A plug-in in both trees goes with one command holding both folders, the system one first.
    world.makeFolder(systemTree + "Generators.localized/Both");
    world.makeFolder(userTree + "Generators.localized/Both");
    names.append("Both");
    const QList<InstalledPlugin> plugins = scanned();
    ASSERT_EQ(plugins.size(), names.size());
    QList<QStringList> expected;
    for (const InstalledPlugin &plugin : plugins) {
        expected.append(QStringList{"-rf"} + plugin.paths);
    }
    ASSERT_EQ(expected.first().size(), 3);
    test::ScriptedPrompts prompts;

    model->deletePlugins(plugins);
    EXPECT_EQ(messages.value(0), "正在卸载 0/10…");
    waitForTheRun();
    EXPECT_EQ(rmRuns(), expected);
    EXPECT_EQ(prompts.scripts().size(), 10);
    EXPECT_FALSE(QFileInfo::exists(world.path("cwd/canary")));
    EXPECT_TRUE(scanned().isEmpty());
    EXPECT_EQ(messages.value(10), "正在卸载 10/10：" + plugins.last().name + "…");
    EXPECT_EQ(messages.last(), "✓ 已卸载 10 个插件。请重启 Final Cut Pro。");
}

TEST_F(UninstallTest, ACancelledPromptFailsItsPluginAloneAndKeepsItsReceipt) {
    QList<MemberProduct> products;
    for (const QString name : {"Vrel Aurora", "Vrel Bloom", "Vrel Comet"}) {
        world.makeFolder(userTree + "Titles.localized/" + name);
        MemberProduct product;
        product.productKey = "key " + name;
        product.productName = name;
        products.append(product);
        model->defaults().setValue(receiptKey(product.productKey), true);
    }
    model->setMemberProducts(products);
    test::ScriptedPrompts prompts({"run", "cancel", "run"});

    model->deletePlugins(scanned());
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "已卸载 2 个，1 个未完成：Vrel Bloom");
    EXPECT_EQ(prompts.scripts().size(), 3);
    EXPECT_FALSE(model->defaults().contains(receiptKey("key Vrel Aurora")));
    EXPECT_TRUE(model->defaults().contains(receiptKey("key Vrel Bloom")));
    EXPECT_FALSE(model->defaults().contains(receiptKey("key Vrel Comet")));
    ASSERT_EQ(model->installedPlugins().size(), 1); // rescanned
    EXPECT_EQ(model->installedPlugins().first().name, "Vrel Bloom");
}

TEST_F(UninstallTest, OnePluginRefusedCancelledBusyAndRemoved) {
    const QString folder = world.makeFolder(userTree + "Effects.localized/Vrel Glow");
    const QString outside = world.makeFolder("outside/Vrel Linked");
    QFile::link(world.path("outside"), world.path(userTree + "Transitions.localized"));
    const QList<InstalledPlugin> plugins = scanned();
    ASSERT_EQ(plugins.size(), 2);
    const InstalledPlugin &glow = plugins[0];
    const InstalledPlugin &linked = plugins[1];
    test::ScriptedPrompts prompts({"cancel"});

    // Behind a linked category folder: refused before any prompt.
    model->deletePlugin(linked);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "没有完成卸载 Vrel Linked，请完全退出 Final Cut Pro 后重试。");
    EXPECT_TRUE(prompts.scripts().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(outside));

    model->deletePlugin(glow);
    waitForTheRun();
    EXPECT_EQ(messages.value(messages.size() - 2), "正在卸载 Vrel Glow…");
    EXPECT_EQ(model->installMessage(), "没有完成卸载 Vrel Glow，请完全退出 Final Cut Pro 后重试。");
    EXPECT_TRUE(QFileInfo::exists(folder));

    // Busy with something else: nothing starts, and the flag stays with its owner.
    model->setIsWorking(true);
    model->deletePlugin(glow);
    model->deletePlugins(plugins);
    EXPECT_TRUE(model->isWorking());
    EXPECT_EQ(prompts.scripts().size(), 1);
    model->setIsWorking(false);

    model->deletePlugin(glow);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "✓ 已卸载 Vrel Glow。请重启 Final Cut Pro。");
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(model->installedPlugins().size(), 1);
}
