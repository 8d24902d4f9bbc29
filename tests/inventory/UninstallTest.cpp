// Uninstall over real template trees, through the real runner, the stand-in osascript and
// an rm that records its arguments before it runs the real one.
#include "install/InstallFixtures.h"
#include "inventory/InstallRecords.h"
#include "inventory/TemplateScan.h"
#include "inventory/Uninstall.h"
#include "model/PluginManager.h"
#include "support/Printing.h"
#include "support/ScriptedPrompts.h"
#include "support/Products.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

using namespace quillon;

namespace {

const QString systemTree = QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized/");
const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized/");

class UninstallTest : public ::testing::Test {
protected:
    UninstallTest() {
        // Commands run in a folder of the world, so a name that escaped its quotes would leave its canary here.
        QDir::setCurrent(world.makeFolder("cwd"));
        // Each run logs a mark, the folder it runs in, then its arguments.
        const QByteArray log = "'" + world.path("rm.log").toUtf8() + "'";
        const QString rm = world.writeFile("bin/rm", "#!/bin/sh\nprintf '%s\\0' '<rm>' \"$(pwd -P)\" >> " + log +
                                                         "\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> " + log +
                                                         "; done\nexec /bin/rm \"$@\"\n");
        QFile::setPermissions(rm, QFile::ReadOwner | QFile::ExeOwner);
        environment.tools.rm = rm;
        makeModel();
    }
    ~UninstallTest() override { QDir::setCurrent(previous); }

    void makeModel() {
        model = std::make_unique<PluginManager>(environment);
        QObject::connect(model.get(), &PluginManager::changed, [this] {
            if (messages.value(messages.size() - 1) != model->installMessage()) {
                messages.append(model->installMessage());
            }
        });
    }

    /// Every rm run: the folder it ran in, then its arguments.
    QList<QStringList> rmRuns() const {
        QFile log(world.path("rm.log"));
        QList<QStringList> runs;
        if (log.open(QIODevice::ReadOnly)) {
            QByteArrayList words = log.readAll().split('\0');
            words.removeLast(); // after the last NUL
            for (const QByteArray &word : words) {
                if (word == "<rm>") {
                    runs.append(QStringList{});
                } else {
                    runs.last().append(QString::fromUtf8(word));
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
    ModelEnvironment environment = world.environment();
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
    world.makeFolder(systemTree + "Other.localized/A");
    QFile::link(world.path("elsewhere"), roots[1] + "/Transitions.localized");

    EXPECT_EQ(removablePluginFolders({a, a, b}, roots), (QStringList{a, b}));
    const QList<QStringList> refused{
        {titles},
        {titles + "/../../etc"},
        {titles + "/.."},
        {titles + "/."},
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
    // rm runs inside the category folder on the plug-in's name, one folder at a time.
    QList<QStringList> expected;
    for (const InstalledPlugin &plugin : plugins) {
        for (const QString &path : plugin.paths) {
            const QFileInfo folder(path);
            expected.append({folder.dir().canonicalPath(), "-rf", "--", "./" + folder.fileName()});
        }
    }
    ASSERT_EQ(plugins.first().paths.size(), 2);
    test::ScriptedPrompts prompts;

    model->deletePlugins(plugins);
    EXPECT_EQ(messages.value(0), "正在卸载 0/10…");
    waitForTheRun();
    EXPECT_EQ(rmRuns(), expected);
    EXPECT_EQ(prompts.scripts().size(), 10);
    // The commands run in the category folders too: no canary anywhere in the world.
    QDirIterator everything(world.path(""), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
    while (everything.hasNext()) {
        everything.next();
        EXPECT_NE(everything.fileName(), "canary") << everything.filePath().toStdString();
    }
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

namespace {

using test::product;

/// Whether a folder whose name is exactly these bytes is inside `folder`.
bool holdsRawName(const QString &folder, const QByteArray &name) {
    struct stat status {};
    return ::lstat(QFile::encodeName(folder) + '/' + name, &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

// While the password prompt waits, a process of the user swaps the category folder for a
// link to another folder that holds a folder of the same name.
TEST_F(UninstallTest, ACategoryFolderSwappedForALinkWhileThePromptWaitsDeletesNothingThere) {
    const QString effects = world.path(userTree + "Effects.localized");
    world.makeFolder(userTree + "Effects.localized/Vrel Glow");
    const QString precious = world.writeFile("precious/Vrel Glow/keep.txt", "mine");
    const QString swap = world.writeFile(
        "bin/osascript",
        "#!/bin/sh\nmv '" + effects.toUtf8() + "' '" + effects.toUtf8() + ".aside' && ln -s '" +
            world.path("precious").toUtf8() + "' '" + effects.toUtf8() + "' || exit 9\nexec '" +
            environment.tools.osascript.toUtf8() + "' \"$@\"\n");
    QFile::setPermissions(swap, QFile::ReadOwner | QFile::ExeOwner);
    environment.tools.osascript = swap;
    makeModel();
    model->setMemberProducts({product("glow", "Vrel Glow")});
    model->defaults().setValue(receiptKey("glow"), true);
    const QList<InstalledPlugin> plugins = scanned();
    ASSERT_EQ(plugins.size(), 1);
    test::ScriptedPrompts prompts;

    model->deletePlugin(plugins.first());
    waitForTheRun();
    EXPECT_EQ(prompts.scripts().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(precious));
    EXPECT_TRUE(QFileInfo::exists(effects + ".aside/Vrel Glow"));
    EXPECT_EQ(model->installMessage(), "没有完成卸载 Vrel Glow，请完全退出 Final Cut Pro 后重试。");
    EXPECT_TRUE(model->defaults().contains(receiptKey("glow")));
    EXPECT_TRUE(rmRuns().isEmpty());
}

// The scan decodes names as UTF-8; bytes that are not come back as U+FFFD, a name no
// command can reach.
TEST_F(UninstallTest, AFolderNamedInBytesThatAreNotUtf8StaysAndIsReportedSo) {
    const QString titles = world.makeFolder(userTree + "Titles.localized");
    const QByteArray raw = "Vrel \xff\xfe Bad";
    ASSERT_EQ(::mkdir(QFile::encodeName(titles) + '/' + raw, 0700), 0);
    world.makeFolder(userTree + "Titles.localized/Vrel Fine");
    model->setMemberProducts({product("bad", "Vrel Bad"), product("fine", "Vrel Fine")});
    model->defaults().setValue(receiptKey("bad"), true);
    model->defaults().setValue(receiptKey("fine"), true);
    QList<InstalledPlugin> plugins = scanned();
    ASSERT_EQ(plugins.size(), 2);
    const InstalledPlugin bad = plugins[1]; // U+FFFD sorts after the letters
    ASSERT_TRUE(bad.name.contains(QChar::ReplacementCharacter));
    test::ScriptedPrompts prompts;

    // Refused before the prompt, alone or in a selection.
    model->deletePlugin(bad);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "没有完成卸载 " + bad.name + "，请完全退出 Final Cut Pro 后重试。");
    model->deletePlugins(plugins);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "已卸载 1 个，1 个未完成：" + bad.name);
    EXPECT_EQ(prompts.scripts().size(), 1);
    EXPECT_TRUE(holdsRawName(titles, raw));
    EXPECT_TRUE(model->defaults().contains(receiptKey("bad")));
    EXPECT_FALSE(model->defaults().contains(receiptKey("fine")));

    // Beside a folder whose name really is that text, the command removes that one; the
    // other is still there afterwards, so the plug-in is not removed.
    world.makeFolder(userTree + "Titles.localized/" + bad.name);
    plugins = scanned();
    ASSERT_EQ(plugins.size(), 1);
    model->deletePlugin(plugins.first());
    waitForTheRun();
    EXPECT_EQ(prompts.scripts().size(), 2);
    EXPECT_EQ(model->installMessage(), "没有完成卸载 " + bad.name + "，请完全退出 Final Cut Pro 后重试。");
    EXPECT_TRUE(holdsRawName(titles, raw));
    EXPECT_TRUE(model->defaults().contains(receiptKey("bad")));
}

// Installed from one membership, removed while another's library is on screen.
TEST_F(UninstallTest, ReceiptsOfProductsThatRecordedARemovedFolderGoWhateverLibraryIsShown) {
    const QString folder = world.makeFolder(userTree + "Titles.localized/光影字幕");
    const QString other = world.makeFolder(userTree + "Titles.localized/Vrel Other");
    const MemberProduct subtitles = product("subtitles", "光影字幕");
    model->saveInstalledProductPaths({folder}, "subtitles");
    model->saveInstalledProductPaths({world.path("gone"), folder}, "50%/also");
    model->saveInstalledProductPaths({other}, "other");
    for (const QString key : {"subtitles", "50%/also", "other"}) {
        model->defaults().setValue(receiptKey(key), true);
    }
    model->setMemberProducts({product("unrelated", "Vrel Unrelated")});
    const QList<InstalledPlugin> plugins = scanned();
    ASSERT_EQ(plugins.size(), 2);
    const InstalledPlugin &installed = plugins[1]; // after "Vrel Other"
    ASSERT_EQ(installed.paths, QStringList{folder});
    test::ScriptedPrompts prompts({"cancel"});

    model->deletePlugin(installed);
    waitForTheRun();
    EXPECT_TRUE(model->defaults().contains(receiptKey("subtitles"))); // nothing was removed

    model->deletePlugin(installed);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "✓ 已卸载 光影字幕。请重启 Final Cut Pro。");
    model->setMemberProducts({subtitles});
    EXPECT_FALSE(model->isProductInstalled(subtitles));
    model->defaults().sync();
    const auto restarted = Preferences::inFile(world.preferences->fileName());
    EXPECT_FALSE(restarted->contains(receiptKey("subtitles")));
    EXPECT_FALSE(restarted->contains(receiptKey("50%/also")));
    EXPECT_TRUE(restarted->contains(receiptKey("other")));
    EXPECT_EQ(restarted->stringArray(installedPathsDefaultsKey(InstallRecord::productPaths, "subtitles")),
              QStringList{folder}); // the record of what was added stays
}

TEST_F(UninstallTest, ASelectionOfOnePluginIsReportedAsASelection) {
    const QString folder = world.makeFolder(userTree + "Effects.localized/Vrel Glow");
    world.makeFolder(userTree + "Effects.localized/Vrel Halo");
    const QList<InstalledPlugin> both = scanned();
    const QList<InstalledPlugin> plugins = both.mid(0, 1);
    test::ScriptedPrompts prompts({"cancel", "cancel", "cancel"});

    model->deletePlugins(both);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), "已卸载 0 个，2 个未完成：Vrel Glow、Vrel Halo");
    const qsizetype before = messages.size();
    model->deletePlugins(plugins);
    waitForTheRun();
    EXPECT_EQ(messages.mid(before), (QStringList{"正在卸载 0/1…", "正在卸载 1/1：Vrel Glow…", "已卸载 0 个，1 个未完成：Vrel Glow"}));
    model->deletePlugins(plugins);
    waitForTheRun();
    EXPECT_EQ(messages.last(), "✓ 已卸载 1 个插件。请重启 Final Cut Pro。");
    EXPECT_FALSE(QFileInfo::exists(folder));
}
