#include "core/ManagerSessionStore.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillon;

namespace {

mode_t modeOf(const QString &path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return 0;
    }
    return info.st_mode & 07777;
}

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class SessionStoreTest : public ::testing::Test {
protected:
    test::TestWorld world;
    ManagerSessionStore store{world.paths.applicationSupport};
    QString folder() const { return QDir(world.paths.applicationSupport).filePath(QStringLiteral("Quillon")); }
    QString file() const { return folder() + QStringLiteral("/manager-session"); }
};

TEST_F(SessionStoreTest, FileLivesInQuillonUnderApplicationSupport) {
    EXPECT_EQ(store.fileURL(), file());
    EXPECT_FALSE(ManagerSessionStore(QString()).fileURL());
}

TEST_F(SessionStoreTest, SaveCreatesAnOwnerOnlyFolderAndFileHoldingOnlyTheToken) {
    store.saveManagerToken(QStringLiteral("tok-1.A_b~"));
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(file()), 0600u);
    EXPECT_EQ(contents(file()), QByteArray("tok-1.A_b~"));
    EXPECT_EQ(store.readManagerToken(), QStringLiteral("tok-1.A_b~"));
}

TEST_F(SessionStoreTest, SaveNarrowsAWideFolderAndReplacesAWideFile) {
    QDir().mkpath(folder());
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    world.writeFile(QStringLiteral("home/Library/Application Support/Quillon/manager-session"), "old");
    ::chmod(QFile::encodeName(file()).constData(), 0644);

    store.saveManagerToken(QStringLiteral("first"));
    store.saveManagerToken(QStringLiteral("second"));
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(file()), 0600u);
    EXPECT_EQ(contents(file()), QByteArray("second"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("manager-session")});
}

TEST_F(SessionStoreTest, SaveCreatesMissingApplicationSupportOwnerOnly) {
    ManagerSessionStore nested(world.path(QStringLiteral("fresh/Application Support")));
    nested.saveManagerToken(QStringLiteral("t"));
    EXPECT_EQ(nested.readManagerToken(), QStringLiteral("t"));
    EXPECT_EQ(modeOf(world.path(QStringLiteral("fresh/Application Support"))), 0700u);
}

TEST_F(SessionStoreTest, SaveStopsSilentlyWhenTheFolderCannotBeMade) {
    world.writeFile(QStringLiteral("home/Library/Application Support/Quillon"), "a file in the way");
    store.saveManagerToken(QStringLiteral("t"));
    EXPECT_FALSE(store.readManagerToken());
    EXPECT_EQ(contents(folder()), QByteArray("a file in the way"));
}

TEST_F(SessionStoreTest, ReadBackTrimsAndRejectsWhatCannotBeAToken) {
    const QString relative = QStringLiteral("home/Library/Application Support/Quillon/manager-session");
    world.writeFile(relative, "abc\n");
    EXPECT_EQ(store.readManagerToken(), QStringLiteral("abc"));
    world.writeFile(relative, "  \r\n\t ");
    EXPECT_FALSE(store.readManagerToken());
    world.writeFile(relative, "");
    EXPECT_FALSE(store.readManagerToken());
    world.writeFile(relative, "tok\xff\xfe");
    EXPECT_FALSE(store.readManagerToken());
    world.writeFile(relative, "tok\xe4\xb8"); // cut inside a character
    EXPECT_FALSE(store.readManagerToken());
    // A token that would break its header line, or that a header cannot carry, is no token.
    for (const char *hostile : {"tok\r\nX-Injected: yes", "tok\tx", "tok x", "tok-\xe6\xb1\x89"}) {
        world.writeFile(relative, hostile);
        EXPECT_FALSE(store.readManagerToken()) << hostile;
    }
}

TEST_F(SessionStoreTest, DeleteRemovesTheFileAndIsQuietWithoutOne) {
    store.deleteManagerToken();
    EXPECT_FALSE(QFileInfo::exists(file()));
    store.saveManagerToken(QStringLiteral("t"));
    ASSERT_TRUE(QFileInfo::exists(file()));
    store.deleteManagerToken();
    EXPECT_FALSE(QFileInfo::exists(file()));
    EXPECT_FALSE(store.readManagerToken());
}
