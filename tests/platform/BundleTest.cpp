#include "platform/Bundle.h"
#include "support/TestWorld.h"

#include <plist/plist.h>

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
