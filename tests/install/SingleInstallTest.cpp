// One product from the download authorisation to the Mac, against the local service and
// real packages, through the real runners and the stand-in tools.
#include "InstallRunFixture.h"

#include "inventory/InstallRecords.h"
#include "support/LogWatcher.h"
#include "support/RawHttpServer.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kInvalidPackage = QStringLiteral("安装未完成：安装包下载失败或文件格式不正确");

class SingleInstallTest : public InstallRunTest {};

} // namespace

TEST_F(SingleInstallTest, TheAuthorisationCarriesTheKeysOfItsModeAndAServiceRefusalIsShownAsItStands) {
    answer(QStringLiteral("p"), {{QStringLiteral("error"), QStringLiteral("次数已用完")}}, 403);
    answer(QStringLiteral("p"), {{QStringLiteral("error"), QStringLiteral("补充内容暂未开放")}}, 403, QStringLiteral("supplement"));
    struct Case {
        std::optional<QString> key;
        bool accountMode, supplement;
        std::optional<QString> scope;
        QJsonObject keys;
        std::string bearer;
        QString message;
    };
    const QJsonObject device{{QStringLiteral("deviceId"), model->deviceIdentifier()}, {QStringLiteral("deviceName"), model->deviceName()}};
    auto with = [&](QJsonObject o, const QString &k, const QString &v) { o.insert(k, v); return o; };
    const QJsonObject base = with(device, QStringLiteral("productKey"), QStringLiteral("p"));
    const QJsonObject member = with(base, QStringLiteral("membershipProductKey"), QStringLiteral("m1"));
    const std::vector<Case> cases{
        {QStringLiteral("p"), true, false, std::nullopt, member, "Bearer tok", QStringLiteral("次数已用完")},
        {QStringLiteral("p"), true, true, std::nullopt, with(member, QStringLiteral("deliveryMode"), QStringLiteral("supplement")), "Bearer tok", QStringLiteral("补充内容暂未开放")},
        {QStringLiteral("p"), true, false, QStringLiteral("m2"), with(base, QStringLiteral("membershipProductKey"), QStringLiteral("m2")), "Bearer tok", QStringLiteral("会员权益不包含该商品。")},
        {QStringLiteral("p"), false, false, std::nullopt, base, "", QStringLiteral("次数已用完")},
        {std::nullopt, false, false, std::nullopt, device, "", QStringLiteral("没有这个商品。")},
    };
    for (const Case &c : cases) {
        const bool done = run(model->performDownloadAndInstall(c.key, QStringLiteral("P"), c.supplement, c.accountMode, c.scope));
        const RecordedRequest request = service.requestsTo(kDownload).back();
        EXPECT_FALSE(done);
        EXPECT_EQ(bodyOf(request), c.keys);
        EXPECT_EQ(request.header("Authorization"), c.bearer);
        EXPECT_EQ(model->installMessage(), c.message);
        EXPECT_EQ(model->singleInstallStage(), c.message);
        EXPECT_EQ(model->installingProductKey(), std::nullopt);
        EXPECT_EQ(model->showsSingleInstallProgress(), !c.supplement);
    }
}

TEST_F(SingleInstallTest, EveryFailureReadsAsSpecifiedAndLeavesNothingBehind) {
    const QUrl broken = serve("not a package");
    const QUrl missing = serve(package(QStringLiteral("Vrel Gone")), "/packages/gone.pkg", {.status = 404});
    const QUrl dropped = serve(package(QStringLiteral("Vrel Cut")), "/packages/cut.pkg", {.dropRangeStart = -2});
    struct Case {
        QJsonObject reply;
        int status;
        QString message; ///< exact, or the start of it when it ends in "…"
    };
    const auto share = [](const QString &type, const QString &url) {
        return QJsonObject{{QStringLiteral("deliveryType"), type}, {QStringLiteral("shareUrl"), url}};
    };
    const std::vector<Case> cases{
        {{}, 300, QStringLiteral("下载授权失败，请联系客服。")},
        {{{QStringLiteral("productKey"), 7}}, 200, QStringLiteral("安装未完成：服务器返回的数据无法识别（productKey）")},
        {{}, 200, kInvalidPackage},
        {{{QStringLiteral("downloadUrl"), QStringLiteral("not a url")}}, 200, kInvalidPackage},
        {{{QStringLiteral("downloadUrl"), QStringLiteral("file:///etc/passwd")}}, 200, kInvalidPackage},
        {share(QStringLiteral("baidu_pan"), QStringLiteral("javascript:alert(1)")), 200, kInvalidPackage},
        {share(QStringLiteral("partner_pool"), QString()), 200, kInvalidPackage},
        {packageReply(missing), 200, kInvalidPackage},
        {packageReply(dropped), 200, QStringLiteral("安装未完成：…")},
        {packageReply(broken), 200, QStringLiteral("安装未完成：macOS 安装器执行失败")},
    };
    for (const Case &c : cases) {
        answer(QStringLiteral("p"), c.reply, c.status);
        EXPECT_FALSE(install(QStringLiteral("p")));
        const QString message = model->installMessage();
        if (c.message.endsWith(QStringLiteral("…"))) {
            EXPECT_TRUE(message.startsWith(c.message.chopped(1)) && message.size() > c.message.size()) << message.toStdString();
        } else {
            EXPECT_EQ(message, c.message);
        }
        EXPECT_EQ(model->singleInstallStage(), message);
        EXPECT_FALSE(model->singleInstallShowsPercent());
        EXPECT_EQ(model->installingProductKey(), std::nullopt);
        EXPECT_FALSE(receipt(QStringLiteral("p")));
        EXPECT_EQ(entries(world.paths.temporary), QStringList()) << message.toStdString();
        EXPECT_EQ(entries(world.paths.downloads), QStringList());
    }
    EXPECT_EQ(entries(titles()), QStringList());
}

TEST_F(SingleInstallTest, ALargePackageDownloadsInRangesInstallsAndIsRecorded) {
    const QUrl url = serve(largePackage());
    answer(QStringLiteral("p1"), packageReply(url, {{QStringLiteral("productKey"), QStringLiteral("p1")},
                                                    {QStringLiteral("productName"), QStringLiteral("Vrel 光效")},
                                                    {QStringLiteral("packageVersion"), QStringLiteral(" 2.0 ")}}));
    world.makeFolder(QStringLiteral("system") + titlesLocation + QStringLiteral("/Vrel Old")); // not this install's
    QList<double> progress;
    QSet<QString> stages;
    bool completed = false; // the card may already have gone when the run returns
    QObject::connect(model.get(), &PluginManager::changed, [&] {
        progress.append(model->singleInstallProgress());
        stages.insert(model->singleInstallStage());
        completed = completed || model->singleInstallCompleted();
    });

    ASSERT_TRUE(install(QStringLiteral("p1")));
    const std::vector<std::string> ranges = server().rangeHeadersSeen();
    EXPECT_GE(ranges.size(), 3u);
    EXPECT_NE(ranges.front(), "");
    EXPECT_TRUE(QFileInfo(titles(QStringLiteral("Vrel Glow/Title.moti"))).isFile());
    EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 安装完成，请重启 FCP。"));
    EXPECT_EQ(model->singleInstallStage(), QStringLiteral("安装完成，请重启 FCP"));
    EXPECT_EQ(model->lastDeliveryMessage(), QStringLiteral("Vrel 光效已安装完成，请重启 FCP。"));
    EXPECT_EQ(model->singleInstallProgress(), 1.0);
    EXPECT_TRUE(completed);
    EXPECT_TRUE(stages.contains(QStringLiteral("正在下载 Vrel 光效…")) && stages.contains(QStringLiteral("正在安装，请勿关闭管理器…")));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()) && progress.size() > 2);
    // Records: receipt, version as sent, the folder the install added, the membership.
    const QStringList added{titles(QStringLiteral("Vrel Glow"))};
    EXPECT_TRUE(receipt(QStringLiteral("p1")));
    EXPECT_EQ(model->savedInstalledVersion(QStringLiteral("p1")), QStringLiteral(" 2.0 "));
    EXPECT_EQ(model->savedInstalledProductPaths(QStringLiteral("p1")), added);
    EXPECT_EQ(model->savedInstalledPaths(QStringLiteral("wechat-account")), added);
    EXPECT_EQ(model->savedInstalledEntitlementProductKeys(QStringLiteral("account:m1")), QStringList{QStringLiteral("p1")});
    EXPECT_TRUE(model->showLocationGuide());
    EXPECT_EQ(model->locationSummary().succeeded, QStringList{QStringLiteral("Vrel 光效")});
    EXPECT_EQ(entries(world.paths.temporary), QStringList()); // the package went once installed

    // Progress still on its way from the finished download changes nothing; the card goes.
    ASSERT_TRUE(waitUntil([&] { return !model->showsSingleInstallProgress(); }));
    EXPECT_EQ(model->singleInstallProgress(), 1.0);
    EXPECT_FALSE(model->singleInstallCompleted());
}

TEST_F(SingleInstallTest, AProtectedTemplatePackageGoesToTheInstallerAppAndIsNotRecorded) {
    const QUrl url = serve(package(QStringLiteral("Vrel FCP")));
    const QString key = QStringLiteral("fcp-template-wedding");
    answer(key, packageReply(url, {{QStringLiteral("fileName"), QStringLiteral("../../Pack.PKG")}}));
    const QString managed = QDir(world.paths.applicationSupport).filePath(QStringLiteral("Vrel 插件管理器/临时安装包"));
    for (const bool opens : {true, false}) {
        world.workspace->openFileSucceeds = opens;
        world.workspace->openedFiles.clear();
        EXPECT_EQ(install(key), opens);
        ASSERT_EQ(world.workspace->openedFiles.size(), 1);
        const QString handed = world.workspace->openedFiles.first();
        EXPECT_EQ(QFileInfo(handed).absolutePath(), managed);
        EXPECT_TRUE(handed.endsWith(QStringLiteral("-Pack.PKG.pkg")));
        EXPECT_EQ(QFileInfo::exists(handed), opens); // a failed hand-off leaves no package behind
        EXPECT_EQ(model->installMessage(), opens ? QStringLiteral("✓ 已打开 macOS 安装器，请在系统窗口完成安装。") : kInvalidPackage);
        EXPECT_EQ(model->singleInstallStage(), opens ? QStringLiteral("已交给 macOS 安装器") : kInvalidPackage);
    }
    EXPECT_EQ(model->locationSummary().pending, QStringList{key + QStringLiteral(" 名称")});
    EXPECT_FALSE(receipt(key));
    EXPECT_EQ(entries(titles()), QStringList());
}

TEST_F(SingleInstallTest, AResourceIsSavedInItsFolderUnderTheLastComponentOfItsNameAndNowhereElse) {
    const QString folder = QDir(world.paths.downloads).filePath(QStringLiteral("Vrel 素材"));
    world.writeFile(QStringLiteral("home/Downloads/Vrel 素材/keep.zip"), "old");
    const QUrl good = serve("new bytes", "/files/asset.zip");
    const QUrl gone = serve("", "/files/gone.zip", {.status = 300});
    struct Case {
        std::optional<QString> fileName;
        QUrl url;
        QString saved; ///< empty: refused
    };
    const std::vector<Case> cases{
        {QStringLiteral("素材包.zip"), good, QStringLiteral("素材包.zip")},
        {std::nullopt, good, QStringLiteral("r 名称.zip")},
        {QStringLiteral("/etc/x"), good, QStringLiteral("x")},
        {QStringLiteral("../../.ssh/authorized_keys"), good, QStringLiteral("authorized_keys")},
        {QStringLiteral("..\\..\\evil.zip"), good, QStringLiteral("evil.zip")},
        {QStringLiteral("keep.zip"), gone, QString()}, // a failed download keeps the old file
        {QStringLiteral(".."), good, QString()},
        {QStringLiteral("a/ . "), good, QString()},
        {QStringLiteral("bad\nname.zip"), good, QString()},
        {QString::fromUtf8("nul\0.zip", 8), good, QString()},
        {QStringLiteral("keep.zip"), good, QStringLiteral("keep (2).zip")}, // a good one goes beside it
    };
    // What lies outside the resource folder (the preferences file aside).
    const auto outside = [&] {
        QMap<QString, QByteArray> tree = snapshot(world.path(QString()));
        tree.removeIf([&](auto entry) {
            return entry.key().startsWith(folder + QLatin1Char('/')) || entry.key().endsWith(QStringLiteral("preferences.json"));
        });
        return tree;
    };
    const QMap<QString, QByteArray> before = outside();
    for (const Case &c : cases) {
        QJsonObject reply = packageReply(c.url, {{QStringLiteral("productType"), QStringLiteral("resource")}});
        if (c.fileName) {
            reply.insert(QStringLiteral("fileName"), *c.fileName);
        }
        answer(QStringLiteral("r"), reply);
        EXPECT_EQ(install(QStringLiteral("r")), !c.saved.isEmpty()) << model->installMessage().toStdString();
        if (!c.saved.isEmpty()) {
            EXPECT_EQ(readAll(QDir(folder).filePath(c.saved)), QByteArray("new bytes"));
            EXPECT_EQ(world.workspace->revealed.last(), QStringList{QDir(folder).filePath(c.saved)});
            EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 下载完成，已保存到“下载/Vrel 素材”。"));
        } else {
            EXPECT_EQ(model->installMessage(), kInvalidPackage);
        }
        if (c.url == gone) {
            EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("keep.zip"))), QByteArray("old"));
        }
    }
    EXPECT_EQ(outside(), before);
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("keep.zip"))), QByteArray("old"));
    EXPECT_EQ(entries(folder).size(), 7); // keep, keep (2), 素材包, r 名称, x, authorized_keys, evil: no leftovers
}

TEST_F(SingleInstallTest, ResourcesWhoseNamesMeetNeverReplaceEachOtherOrAFolder) {
    const QString folder = QDir(world.paths.downloads).filePath(QStringLiteral("Vrel 素材"));
    world.makeFolder(QStringLiteral("home/Downloads/Vrel 素材/sub"));
    world.writeFile(QStringLiteral("home/Downloads/Vrel 素材/sub/inside.txt"), "the user's");
    struct Case {
        QString key, fileName;
        QString saved;
    };
    // Two products whose names reduce to one last component, and the same name once more.
    const std::vector<Case> cases{
        {QStringLiteral("a"), QStringLiteral("../../x"), QStringLiteral("x")},
        {QStringLiteral("b"), QStringLiteral("/etc/x"), QStringLiteral("x (2)")},
        {QStringLiteral("c"), QStringLiteral("Pack.zip"), QStringLiteral("Pack.zip")},
        {QStringLiteral("d"), QStringLiteral("Pack.zip"), QStringLiteral("Pack (2).zip")},
        {QStringLiteral("e"), QStringLiteral("Pack.zip"), QStringLiteral("Pack (3).zip")},
        {QStringLiteral("f"), QStringLiteral("sub"), QStringLiteral("sub (2)")}, // a folder of that name
    };
    for (const Case &c : cases) {
        const QUrl url = serve("bytes of " + c.key.toStdString(), "/files/" + c.key.toStdString());
        answer(c.key, packageReply(url, {{QStringLiteral("productType"), QStringLiteral("resource")},
                                         {QStringLiteral("fileName"), c.fileName}}));
        ASSERT_TRUE(install(c.key)) << model->installMessage().toStdString();
        EXPECT_EQ(world.workspace->revealed.last(), QStringList{QDir(folder).filePath(c.saved)});
        EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 下载完成，已保存到“下载/Vrel 素材”。"));
        EXPECT_EQ(model->lastDeliveryMessage(), c.key + QStringLiteral(" 名称已下载到“下载/Vrel 素材”。"));
    }
    for (const Case &c : cases) {
        EXPECT_EQ(readAll(QDir(folder).filePath(c.saved)), QByteArray("bytes of ") + c.key.toUtf8()) << c.saved.toStdString();
    }
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("sub/inside.txt"))), QByteArray("the user's"));
    EXPECT_EQ(entries(folder).size(), 7); // the six saved files and the folder: no leftovers
}

TEST_F(SingleInstallTest, TheSystemsOwnWordsGoToTheLogAndTheUserReadsChinese) {
    const QString folder = QDir(world.paths.downloads).filePath(QStringLiteral("Vrel 素材"));
    const QUrl asset = serve("bytes", "/files/asset.zip");
    RawHttpServer toFile([](const RawHttpServer::Request &) {
        return std::vector<std::string>{RawHttpServer::head(302, {"Location: file:///etc/passwd", "Connection: close"})};
    });
    const QUrl package = serve(this->package(QStringLiteral("Vrel Asked")), "/packages/asked.pkg");
    struct Case {
        QJsonObject reply;
        bool cancelPrompt;
        QString message, logged;
    };
    const std::vector<Case> cases{
        {packageReply(asset, {{QStringLiteral("productType"), QStringLiteral("resource")},
                              {QStringLiteral("fileName"), QString(300, QLatin1Char('n')) + QStringLiteral(".zip")}}),
         false, QStringLiteral("安装未完成：文件名过长"), QStringLiteral("File name too long")},
        {packageReply(toFile.url()), false, QStringLiteral("安装未完成：下载地址无效"), QStringLiteral("a redirect to the protocol")},
        {packageReply(package), true, QStringLiteral("安装未完成：已取消管理员授权。"), QStringLiteral("User canceled. (-128)")},
    };
    for (const Case &c : cases) {
        answer(QStringLiteral("p"), c.reply);
        const ScopedEnvironment cancel("QUILLON_OSASCRIPT_CANCEL", c.cancelPrompt ? "1" : "0");
        LogWatcher log;
        EXPECT_FALSE(install(QStringLiteral("p")));
        EXPECT_EQ(model->installMessage(), c.message);
        EXPECT_EQ(model->singleInstallStage(), c.message);
        EXPECT_TRUE(log.saw(c.logged)) << c.logged.toStdString();
        EXPECT_EQ(entries(folder), QStringList()) << "nothing of a failed save stays";
        EXPECT_EQ(entries(world.paths.temporary), QStringList());
    }
    EXPECT_FALSE(receipt(QStringLiteral("p")));
    EXPECT_EQ(entries(titles()), QStringList());
}

TEST_F(SingleInstallTest, CloudDriveDeliveriesOpenTheSharePageAndDownloadNothing) {
    const QString link = QStringLiteral("https://pan.example.com/s/1abc");
    struct Case {
        QJsonObject reply;
        bool browserOpens;
        QString message, pasteboard, storedCode;
    };
    const QJsonObject partner{{QStringLiteral("productKey"), QStringLiteral("c")}, {QStringLiteral("deliveryType"), QStringLiteral("partner_pool")},
                              {QStringLiteral("shareUrl"), link}, {QStringLiteral("accessCode"), QStringLiteral(" ab12 ")},
                              {QStringLiteral("archivePassword"), QStringLiteral("pw")}, {QStringLiteral("deliveryNote"), QStringLiteral("注意")}};
    QJsonObject withCode = partner;
    withCode.insert(QStringLiteral("partnerActivationCode"), QStringLiteral("CODE-1"));
    const std::vector<Case> cases{
        {partner, true, QStringLiteral("已在浏览器打开 c 名称 的百度网盘页面。 提取码：ab12。 压缩包密码：pw。\n\n注意"), QString(), QString()},
        {{{QStringLiteral("deliveryType"), QStringLiteral("baidu_pan")}, {QStringLiteral("shareUrl"), link}, {QStringLiteral("accessCode"), QStringLiteral("x9")}}, true, QStringLiteral("✓ 已打开网盘；如未跳转，可在领取信息中直接打开或复制。"), QString(), QString()},
        {{{QStringLiteral("deliveryType"), QStringLiteral("hybrid")}, {QStringLiteral("shareUrl"), link}, {QStringLiteral("downloadUrl"), QStringLiteral("http://127.0.0.1:9/never.pkg")}}, false, QStringLiteral("✓ 自动打开失败；请在领取信息中直接打开或复制。"), QString(), QString()},
        {withCode, true, QStringLiteral("已在浏览器打开 c 名称 的百度网盘页面。 提取码：ab12。 合作方激活码 CODE-1 已复制。每款合作商品仅分配 1 份。 压缩包密码：pw。\n\n注意"), QStringLiteral("CODE-1"), QStringLiteral("CODE-1")},
    };
    for (const Case &c : cases) {
        answer(QStringLiteral("c"), c.reply);
        world.workspace->openURLSucceeds = c.browserOpens;
        model->setShowNetdiskDelivery(false);
        model->setShowInstallSuccess(false);
        world.pasteboard->contents.clear();
        ASSERT_TRUE(install(QStringLiteral("c")));
        EXPECT_EQ(world.workspace->openedURLs.last(), QUrl(link));
        EXPECT_FALSE(model->showsSingleInstallProgress());
        EXPECT_EQ(world.pasteboard->contents, c.pasteboard);
        EXPECT_EQ(model->claimedPartnerActivationCodes().value(QStringLiteral("c")), c.storedCode);
        if (c.reply.value(QStringLiteral("deliveryType")) == QStringLiteral("partner_pool")) {
            EXPECT_EQ(model->lastDeliveryMessage(), c.message);
            EXPECT_EQ(model->deliverySuccessTitle(), QStringLiteral("合作商品已领取"));
            EXPECT_EQ(model->lastInstalledProduct(), QStringLiteral("c 名称"));
            EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 安装包已打开，合作方激活码已复制。"));
            EXPECT_TRUE(model->showInstallSuccess());
        } else {
            EXPECT_EQ(model->installMessage(), c.message);
            ASSERT_TRUE(model->netdiskDelivery());
            EXPECT_EQ(model->netdiskDelivery()->shareURL, QUrl(link));
            EXPECT_EQ(model->netdiskDelivery()->openedAutomatically, c.browserOpens);
            EXPECT_TRUE(model->showNetdiskDelivery());
        }
    }
    EXPECT_EQ(entries(world.paths.temporary), QStringList());
}

TEST_F(SingleInstallTest, TheLibraryStartsOneRunAtATimeAndOnlyWithAMembership) {
    MemberProduct product;
    product.productKey = QStringLiteral("p");
    product.productName = QStringLiteral("P");
    answer(QStringLiteral("p"), {{QStringLiteral("error"), QStringLiteral("稍后再试")}}, 429);

    model->installMemberProduct(product);
    model->claimMemberProductSupplement(product); // busy: ignored
    model->startDownloadAndInstall(QStringLiteral("q"), QStringLiteral("Q"), false);
    EXPECT_EQ(model->installingProductKey(), QStringLiteral("p"));
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    EXPECT_EQ(service.count(kDownload), 1u);
    EXPECT_EQ(model->installMessage(), QStringLiteral("稍后再试"));

    model->setIsWechatLoggedIn(false);
    model->installMemberProduct(product);
    EXPECT_EQ(model->installMessage(), QStringLiteral("请先成功激活会员授权。"));
    EXPECT_FALSE(model->isWorking());
}

TEST_F(SingleInstallTest, ClosingTheWindowMidDownloadStopsTheTransferAndLeavesNoFile) {
    // Each range would take many seconds at this pace.
    const QUrl url = serve(largePackage(), "/packages/plugin.pkg", {.pieceDelay = std::chrono::milliseconds(20)});
    answer(QStringLiteral("s"), packageReply(url));
    MemberProduct product;
    product.productKey = QStringLiteral("s");
    model->installMemberProduct(product);
    ASSERT_TRUE(waitUntil([&] { return server().transfersInFlight() >= 2; }));
    model.reset();
    ASSERT_TRUE(waitUntil([&] { return server().transfersInFlight() == 0; }, std::chrono::seconds(3)));
    ASSERT_TRUE(waitUntil([&] { return entries(world.paths.temporary).isEmpty(); }, std::chrono::seconds(3)));
}
