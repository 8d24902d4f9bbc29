// The installer stand-in, run as a child process on packages written by the builder.
#include "InstallFixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

using namespace quillon;
using test::PackageBuilder;

namespace {

class InstallerStandInTest : public ::testing::Test {
protected:
    test::TestWorld world;
    QString sandbox = world.paths.systemRoot;
    QString titles = sandbox + test::titlesLocation;
    QProcessEnvironment environment = [this] {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), sandbox);
        return e;
    }();

    QString package(const PackageBuilder &builder, const QString &name = QStringLiteral("test.pkg")) {
        const QString path = world.path(QStringLiteral("tmp/") + name);
        builder.write(path);
        return path;
    }
    test::ToolRun install(const QString &pkg) {
        return test::runTool(QStringLiteral("installer"),
                             {QStringLiteral("-pkg"), pkg, QStringLiteral("-target"), QStringLiteral("/")}, environment);
    }
    /// Runs the installer on a package it must refuse, and proves nothing at all was written.
    void expectRefusedWithoutWriting(const QString &pkg, const char *reason) {
        const auto before = test::snapshot(world.root.path());
        const test::ToolRun result = install(pkg);
        EXPECT_NE(result.exitCode, 0) << reason;
        EXPECT_TRUE(result.err.startsWith("installer: Error - ")) << reason << ": " << result.err.constData();
        EXPECT_EQ(test::snapshot(world.root.path()), before) << reason;
    }
};

} // namespace

TEST_F(InstallerStandInTest, InstallsThePayloadAtItsInstallLocationUnderTheSandboxRoot) {
    const QString pkg = package(PackageBuilder(test::titlesLocation)
                                    .identifier(QStringLiteral("com.vrel.glow"))
                                    .folder(QStringLiteral("Vrel 光效"))
                                    .file(QStringLiteral("Vrel 光效/Glow.moti"), "motion template")
                                    .folder(QStringLiteral("Vrel 光效/Media"))
                                    .file(QStringLiteral("Vrel 光效/Media/glow.png"), QByteArray(100000, 'x'))
                                    .symlink(QStringLiteral("Vrel 光效/Preview.png"), QStringLiteral("Media/glow.png")));
    const test::ToolRun result = install(pkg);
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_TRUE(result.out.contains("installer: Package name is com.vrel.glow"));
    EXPECT_TRUE(result.out.contains("installer: The install was successful."));
    EXPECT_EQ(test::readAll(titles + QStringLiteral("/Vrel 光效/Glow.moti")), QByteArray("motion template"));
    EXPECT_EQ(test::readAll(titles + QStringLiteral("/Vrel 光效/Media/glow.png")), QByteArray(100000, 'x'));
    EXPECT_EQ(QFileInfo(titles + QStringLiteral("/Vrel 光效/Preview.png")).symLinkTarget(),
              titles + QStringLiteral("/Vrel 光效/Media/glow.png"));
}

TEST_F(InstallerStandInTest, AnotherInstallOfTheSamePackageReplacesTheFiles) {
    ASSERT_EQ(install(package(PackageBuilder(test::titlesLocation).file(QStringLiteral("a/b.txt"), "old"))).exitCode, 0);
    ASSERT_EQ(install(package(PackageBuilder(test::titlesLocation).file(QStringLiteral("a/b.txt"), "new"))).exitCode, 0);
    EXPECT_EQ(test::readAll(titles + QStringLiteral("/a/b.txt")), QByteArray("new"));
}

TEST_F(InstallerStandInTest, APackageWithoutInstallLocationInstallsAtTheRoot) {
    const QString pkg = package(PackageBuilder().packageInfo(
        "<?xml version=\"1.0\"?><pkg-info identifier=\"x\" version=\"1\"></pkg-info>").file(QStringLiteral("Library/x.txt"), "x"));
    ASSERT_EQ(install(pkg).exitCode, 0);
    EXPECT_EQ(test::readAll(sandbox + QStringLiteral("/Library/x.txt")), QByteArray("x"));
}

TEST_F(InstallerStandInTest, UnsafePayloadEntriesAreRefusedAndNothingIsWritten) {
    const PackageBuilder base = PackageBuilder(test::titlesLocation).file(QStringLiteral("ok.txt"), "first entry is fine");
    struct Case {
        const char *reason;
        PackageBuilder builder;
    };
    const QList<Case> cases{
        {"parent folder", PackageBuilder(base).file(QStringLiteral("../escaped.txt"), "x")},
        {"parent folder in the middle", PackageBuilder(base).file(QStringLiteral("./a/../../escaped.txt"), "x")},
        {"deep climb", PackageBuilder(base).file(QStringLiteral("./../../../../../../../../tmp/escaped.txt"), "x")},
        {"absolute path", PackageBuilder(base).file(world.path(QStringLiteral("escaped.txt")), "x")},
        {"absolute folder", PackageBuilder(base).folder(QStringLiteral("/escaped"))},
        {"link to an absolute path", PackageBuilder(base).symlink(QStringLiteral("etc"), world.root.path())},
        {"link climbing out", PackageBuilder(base).symlink(QStringLiteral("a/up"), QStringLiteral("../../x"))},
        {"link through a link to the root", PackageBuilder(base)
                                                .symlink(QStringLiteral("here"), QStringLiteral("."))
                                                .symlink(QStringLiteral("out"), QStringLiteral("here/.."))},
        {"file written through a payload link", PackageBuilder(base)
                                                    .folder(QStringLiteral("real"))
                                                    .symlink(QStringLiteral("alias"), QStringLiteral("real"))
                                                    .file(QStringLiteral("alias/f.txt"), "x")},
        {"link declared after the file written through it", PackageBuilder(base)
                                                                .file(QStringLiteral("alias/f.txt"), "x")
                                                                .symlink(QStringLiteral("alias"), QStringLiteral("."))},
        {"empty link", PackageBuilder(base).symlink(QStringLiteral("nothing"), QString())},
        {"special file", PackageBuilder(base).fifo(QStringLiteral("pipe"))},
    };
    for (const Case &c : cases) {
        expectRefusedWithoutWriting(package(c.builder), c.reason);
    }
}

TEST_F(InstallerStandInTest, APayloadIsNeverWrittenThroughALinkAlreadyOnDisk) {
    const QString outside = world.makeFolder(QStringLiteral("outside"));
    QDir().mkpath(titles);
    ASSERT_TRUE(QFile::link(outside, titles + QStringLiteral("/Shared")));
    expectRefusedWithoutWriting(package(PackageBuilder(test::titlesLocation).file(QStringLiteral("Shared/evil.txt"), "x")),
                                "through a link on disk");
    expectRefusedWithoutWriting(package(PackageBuilder(test::titlesLocation).symlink(QStringLiteral("via"), QStringLiteral("Shared/.."))),
                                "new link through a link on disk");
    EXPECT_TRUE(QDir(outside).isEmpty());
}

TEST_F(InstallerStandInTest, UnsafeInstallLocationsAreRefused) {
    const QString outside = world.makeFolder(QStringLiteral("outside"));
    QDir().mkpath(sandbox + QStringLiteral("/Library"));
    ASSERT_TRUE(QFile::link(outside, sandbox + QStringLiteral("/Library/Linked")));
    expectRefusedWithoutWriting(package(PackageBuilder(QStringLiteral("/Library/../../outside")).file(QStringLiteral("x"), "x")),
                                "install-location with ..");
    expectRefusedWithoutWriting(package(PackageBuilder(QStringLiteral("Library/relative")).file(QStringLiteral("x"), "x")),
                                "relative install-location");
    const auto before = test::snapshot(outside);
    const test::ToolRun linked = install(package(PackageBuilder(QStringLiteral("/Library/Linked/Sub")).file(QStringLiteral("x"), "x")));
    EXPECT_NE(linked.exitCode, 0);
    EXPECT_EQ(test::snapshot(outside), before);
}

TEST_F(InstallerStandInTest, MissingAndMalformedPackagesFailWithAMessage) {
    struct Case {
        const char *reason;
        QString path;
    };
    const QList<Case> cases{
        {"missing file", world.path(QStringLiteral("tmp/absent.pkg"))},
        {"not an archive", world.writeFile(QStringLiteral("tmp/garbage.pkg"), QByteArray(4096, '\x42'))},
        {"empty file", world.writeFile(QStringLiteral("tmp/empty.pkg"), QByteArray())},
        {"no Payload", package(PackageBuilder(test::titlesLocation).withoutPayload(), QStringLiteral("np.pkg"))},
        {"no PackageInfo", package(PackageBuilder(test::titlesLocation).file(QStringLiteral("x"), "x").withoutPackageInfo(),
                                   QStringLiteral("ni.pkg"))},
        {"PackageInfo not XML", package(PackageBuilder().packageInfo("not <xml").file(QStringLiteral("x"), "x"),
                                        QStringLiteral("nx.pkg"))},
        {"PackageInfo of something else", package(PackageBuilder().packageInfo("<installer-gui-script/>"), QStringLiteral("gs.pkg"))},
        {"Payload not cpio", package(PackageBuilder(test::titlesLocation).rawPayload(QByteArray(2048, '\x01')),
                                     QStringLiteral("nc.pkg"))},
    };
    for (const Case &c : cases) {
        expectRefusedWithoutWriting(c.path, c.reason);
    }

    // A package cut short is refused too.
    const QString whole = package(PackageBuilder(test::titlesLocation).file(QStringLiteral("big.bin"), QByteArray(200000, 'b')),
                                  QStringLiteral("whole.pkg"));
    const QByteArray bytes = test::readAll(whole);
    expectRefusedWithoutWriting(world.writeFile(QStringLiteral("tmp/cut.pkg"), bytes.left(bytes.size() / 2)), "truncated");
}

TEST_F(InstallerStandInTest, RefusesToRunWithoutASandboxRootOrWithOtherArguments) {
    const QString pkg = package(PackageBuilder(test::titlesLocation).file(QStringLiteral("x.txt"), "x"));
    environment.remove(QString::fromLatin1(SystemPaths::sandboxRootVariable));
    expectRefusedWithoutWriting(pkg, "no sandbox root");
    environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), QStringLiteral("relative/root"));
    expectRefusedWithoutWriting(pkg, "relative sandbox root");
    environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), sandbox);

    const QList<QStringList> wrong{
        {},
        {QStringLiteral("-pkg"), pkg},
        {QStringLiteral("-pkg"), pkg, QStringLiteral("-target"), QStringLiteral("/Volumes/Other")},
        {QStringLiteral("-pkg"), pkg, QStringLiteral("-target"), QStringLiteral("/"), QStringLiteral("-verbose")},
        {QStringLiteral("-pkg"), pkg, QStringLiteral("-pkg"), pkg},
    };
    const auto before = test::snapshot(world.root.path());
    for (const QStringList &arguments : wrong) {
        const test::ToolRun result = test::runTool(QStringLiteral("installer"), arguments, environment);
        EXPECT_NE(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.err.startsWith("installer: Error - ")) << result.err.constData();
    }
    EXPECT_EQ(test::snapshot(world.root.path()), before);

    // The target may come first, as the real tool allows.
    const test::ToolRun swapped = test::runTool(
        QStringLiteral("installer"), {QStringLiteral("-target"), QStringLiteral("/"), QStringLiteral("-pkg"), pkg}, environment);
    EXPECT_EQ(swapped.exitCode, 0) << swapped.err.constData();
}

TEST_F(InstallerStandInTest, HardLinksBecomeSecondNamesOfTheirFile) {
    const QString pkg = package(PackageBuilder(test::titlesLocation)
                                    .file(QStringLiteral("a/original.txt"), "shared contents")
                                    .hardlink(QStringLiteral("b/second.txt"), QStringLiteral("a/original.txt")));
    const test::ToolRun result = install(pkg);
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(test::readAll(titles + QStringLiteral("/b/second.txt")), QByteArray("shared contents"));
    struct stat first {}, second {};
    ASSERT_EQ(::stat(QFile::encodeName(titles + QStringLiteral("/a/original.txt")).constData(), &first), 0);
    ASSERT_EQ(::stat(QFile::encodeName(titles + QStringLiteral("/b/second.txt")).constData(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
}

namespace {

/// Folders below `base` whose path, counted from `base`, is far longer than the system's
/// path limit, ending in a link to `target`: made step by step, relative to each folder,
/// because no whole path of that length can be named. Returns the relative path of the link.
QString makeDeepLinkedFolders(const QString &base, const QString &target, int folders, int linkNameLength) {
    QString relative;
    int at = ::open(QFile::encodeName(base).constData(), O_DIRECTORY | O_RDONLY);
    for (int i = 0; i < folders && at >= 0; ++i) {
        const QByteArray name = QByteArray(199, 'd') + char('a' + i % 26);
        ::mkdirat(at, name.constData(), 0755);
        const int next = ::openat(at, name.constData(), O_DIRECTORY | O_RDONLY);
        ::close(at);
        at = next;
        relative += QString::fromLatin1(name) + QLatin1Char('/');
    }
    const QByteArray link(linkNameLength, 'L');
    if (at >= 0) {
        ::symlinkat(QFile::encodeName(target).constData(), at, link.constData());
        ::close(at);
    }
    return relative + QString::fromLatin1(link);
}

/// Removes what makeDeepLinkedFolders made (the link, not what it points to).
void removeDeepFolders(const QString &base, int folders, int linkNameLength) {
    QList<int> chain{::open(QFile::encodeName(base).constData(), O_DIRECTORY | O_RDONLY)};
    QList<QByteArray> names;
    for (int i = 0; i < folders && chain.last() >= 0; ++i) {
        names.append(QByteArray(199, 'd') + char('a' + i % 26));
        chain.append(::openat(chain.last(), names.last().constData(), O_DIRECTORY | O_RDONLY));
    }
    if (chain.last() >= 0) {
        ::unlinkat(chain.last(), QByteArray(linkNameLength, 'L').constData(), 0);
    }
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
        ::close(chain[i + 1]);
        ::unlinkat(chain[i], names[i].constData(), AT_REMOVEDIR);
    }
    ::close(chain.first());
}

} // namespace

TEST_F(InstallerStandInTest, ALinkOnDiskBeyondThePathLimitIsNotFollowedEither) {
    // A folder chain so deep that the whole path of its last link cannot be looked at
    // directly; the link leads outside the sandbox.
    const QString outside = world.makeFolder(QStringLiteral("outside"));
    QDir().mkpath(titles);
    const int folders = 20;
    const int linkNameLength = 40;
    const QString linked = makeDeepLinkedFolders(titles, outside, folders, linkNameLength);
    ASSERT_GE(titles.size() + 1 + linked.size(), 4096) << "the link must lie beyond the path limit";
    ASSERT_LT(linked.size(), 4088);

    const QString entry = linked + QLatin1Char('/') + QString(60, QLatin1Char('x')) + QStringLiteral("/evil.txt");
    const test::ToolRun result = install(package(PackageBuilder(test::titlesLocation)
                                                     .file(QStringLiteral("first.txt"), "an ordinary first entry")
                                                     .file(entry, "written through the link")));
    const bool escaped = !QDir(outside).isEmpty();
    removeDeepFolders(titles, folders, linkNameLength);

    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.startsWith("installer: Error - ")) << result.err.constData();
    EXPECT_TRUE(result.err.contains("symbolic link")) << result.err.constData();
    EXPECT_FALSE(escaped) << "the payload was written outside the sandbox";
    EXPECT_FALSE(QFileInfo::exists(titles + QStringLiteral("/first.txt"))) << "an unsafe payload writes nothing";
}

TEST_F(InstallerStandInTest, AFileOnDiskThatIsAHardLinkToOneOutsideIsReplacedNotWrittenInto) {
    const QString outside = world.writeFile(QStringLiteral("outside/secret.txt"), "outside contents");
    QDir().mkpath(titles);
    ASSERT_EQ(::link(QFile::encodeName(outside).constData(), QFile::encodeName(titles + QStringLiteral("/shared.txt")).constData()), 0);
    const test::ToolRun result = install(package(PackageBuilder(test::titlesLocation).file(QStringLiteral("shared.txt"), "payload")));
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(test::readAll(titles + QStringLiteral("/shared.txt")), QByteArray("payload"));
    EXPECT_EQ(test::readAll(outside), QByteArray("outside contents"));
}
