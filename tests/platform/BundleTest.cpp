#include "platform/Bundle.h"
#include "support/HostilePropertyLists.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <plist/plist.h>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

QByteArray binaryPlist(const char *identifier, const char *executable) {
    plist_t dict = plist_new_dict();
    if (identifier) {
        plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(identifier));
    }
    if (executable) {
        plist_dict_set_item(dict, "CFBundleExecutable", plist_new_string(executable));
    }
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    QByteArray out(bytes, static_cast<qsizetype>(length));
    free(bytes);
    plist_free(dict);
    return out;
}

const QByteArray kXmlPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>local.motiontemplate.runtime.ABCDEF123456</string>
  <key>CFBundleExecutable</key><string>ZelmFxPlugin</string>
</dict>
</plist>
)";

} // namespace

TEST(BundleTest, ReadsIdentifierAndExecutableFromAnXmlInfoPlist) {
    test::TestWorld world;
    world.writeFile(QStringLiteral("MotionRuntime.app/Contents/Info.plist"), kXmlPlist);
    const auto bundle = Bundle::open(world.path(QStringLiteral("MotionRuntime.app")));
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->identifier(), QStringLiteral("local.motiontemplate.runtime.ABCDEF123456"));
    EXPECT_EQ(bundle->executablePath(),
              world.path(QStringLiteral("MotionRuntime.app/Contents/MacOS/ZelmFxPlugin")));
}

TEST(BundleTest, ReadsABinaryInfoPlist) {
    test::TestWorld world;
    world.writeFile(QStringLiteral("Legacy.app/Contents/Info.plist"), binaryPlist("ZelmPlugin", "ZelmFxPlugin"));
    const auto bundle = Bundle::open(world.path(QStringLiteral("Legacy.app")));
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->identifier(), QStringLiteral("ZelmPlugin"));
    EXPECT_TRUE(bundle->executablePath()->endsWith(QStringLiteral("/Contents/MacOS/ZelmFxPlugin")));
}

TEST(BundleTest, MissingKeysAreAbsentAndUnreadableBundlesAreNone) {
    test::TestWorld world;
    world.writeFile(QStringLiteral("Bare.app/Contents/Info.plist"), binaryPlist(nullptr, nullptr));
    const auto bare = Bundle::open(world.path(QStringLiteral("Bare.app")));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->identifier());
    EXPECT_FALSE(bare->executablePath());

    world.writeFile(QStringLiteral("Garbage.app/Contents/Info.plist"), "not a property list");
    EXPECT_FALSE(Bundle::open(world.path(QStringLiteral("Garbage.app"))));
    EXPECT_FALSE(Bundle::open(world.path(QStringLiteral("Nowhere.app"))));
}

TEST(BundleTest, AnInfoPlistNestedTooDeepIsNotABundle) {
    test::TestWorld world;
    const QString id = QStringLiteral("local.motiontemplate.runtime.ABCDEF123456");
    const QList<std::pair<const char *, QByteArray>> deep{
        {"Xml.app", test::xmlInfo(id, "ZelmFxPlugin", 200'000)},
        {"Binary.app", test::binaryInfo(id, "ZelmFxPlugin", 200'000)},
    };
    for (const auto &[name, bytes] : deep) {
        world.writeFile(QString::fromLatin1(name) + "/Contents/Info.plist", bytes);
        EXPECT_FALSE(Bundle::open(world.path(QString::fromLatin1(name)))) << name;
    }
    world.writeFile(QStringLiteral("Fine.app/Contents/Info.plist"), test::binaryInfo(id, "ZelmFxPlugin", 255));
    const auto fine = Bundle::open(world.path(QStringLiteral("Fine.app")));
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->identifier(), id);
}

TEST(BundleTest, OnlyARegularInfoPlistOfAtMost16MiBIsRead) {
    test::TestWorld world;
    // A terabyte that takes no room on disk: refused by its size, without reading a byte.
    QFile sparse(world.path(QStringLiteral("Sparse.app/Contents/Info.plist")));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(sparse).absolutePath()));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(qint64(1) << 40));
    sparse.close();
    EXPECT_FALSE(Bundle::open(world.path(QStringLiteral("Sparse.app"))));

    // 16 MiB exactly is read; one byte more is not.
    QByteArray padded = kXmlPlist;
    padded.append(QByteArray(16 * 1024 * 1024 - padded.size(), ' '));
    world.writeFile(QStringLiteral("Full.app/Contents/Info.plist"), padded);
    EXPECT_TRUE(Bundle::open(world.path(QStringLiteral("Full.app"))));
    world.writeFile(QStringLiteral("Over.app/Contents/Info.plist"), padded + ' ');
    EXPECT_FALSE(Bundle::open(world.path(QStringLiteral("Over.app"))));

    // A named pipe would block an ordinary open until something writes to it.
    const QString pipe = world.path(QStringLiteral("Pipe.app/Contents/Info.plist"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(pipe).absolutePath()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFuture<bool> opening = QtConcurrent::run([&] { return Bundle::open(world.path(QStringLiteral("Pipe.app"))).has_value(); });
    const bool ended = test::waitUntil([&] { return opening.isFinished(); });
    if (!ended) {
        QFile writer(pipe); // lets the stuck open go on, so the test can end
        writer.open(QIODevice::WriteOnly);
    }
    EXPECT_TRUE(ended) << "opening a bundle whose Info.plist is a named pipe waited for a writer";
    EXPECT_FALSE(opening.result());
}
