// Saving a finished download into the user's folder without replacing anything there.
#include "install/DownloadFailure.h"
#include "install/SaveWithoutReplacing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <thread>
#include <vector>

using namespace quillon;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

class SaveWithoutReplacingTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString folder = root.filePath(QStringLiteral("Vrel 素材"));
    QString staging = root.filePath(QStringLiteral("staging"));

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QDir().mkpath(staging));
    }
    QString downloaded(const QString &name, const QByteArray &bytes) {
        return write(QDir(staging).filePath(name), bytes);
    }
};

} // namespace

TEST_F(SaveWithoutReplacingTest, ANameInUseGetsTheFirstFreeNumberAsBrowsersGiveIt) {
    EXPECT_EQ(numberedFileName(QStringLiteral("素材包.zip"), 2), QStringLiteral("素材包 (2).zip"));
    EXPECT_EQ(numberedFileName(QStringLiteral("Pack.v1.zip"), 3), QStringLiteral("Pack.v1 (3).zip"));
    EXPECT_EQ(numberedFileName(QStringLiteral("Pack.TAR.gz"), 2), QStringLiteral("Pack (2).TAR.gz"));
    EXPECT_EQ(numberedFileName(QStringLiteral("README"), 2), QStringLiteral("README (2)"));
    EXPECT_EQ(numberedFileName(QStringLiteral(".profile"), 2), QStringLiteral(".profile (2)"));

    write(QDir(folder).filePath(QStringLiteral("x.zip")), "first");
    write(QDir(folder).filePath(QStringLiteral("x (2).zip")), "second");
    QFile::link(root.filePath(QStringLiteral("nowhere")), QDir(folder).filePath(QStringLiteral("x (3).zip")));
    const QString saved = saveWithoutReplacing(downloaded(QStringLiteral("a"), "third"), folder, QStringLiteral("x.zip"));
    EXPECT_EQ(saved, QDir(folder).filePath(QStringLiteral("x (4).zip")));
    EXPECT_EQ(readAll(saved), QByteArray("third"));
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("x.zip"))), QByteArray("first"));
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("x (2).zip"))), QByteArray("second"));
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("nowhere")))) << "a link at a name is never followed";
    EXPECT_TRUE(QDir(staging).isEmpty());
}

TEST_F(SaveWithoutReplacingTest, SavesAtTheSameMomentNeverTakeTheSameName) {
    constexpr int kSavers = 24;
    std::vector<QString> sources;
    for (int i = 0; i < kSavers; ++i) {
        sources.push_back(downloaded(QString::number(i), QByteArray::number(i)));
    }
    std::vector<QString> saved(kSavers);
    std::latch start(kSavers);
    std::vector<std::thread> savers;
    for (int i = 0; i < kSavers; ++i) {
        savers.emplace_back([&, i] {
            start.arrive_and_wait();
            saved[i] = saveWithoutReplacing(sources[i], folder, QStringLiteral("same.zip"));
        });
    }
    for (std::thread &saver : savers) {
        saver.join();
    }
    const std::set<QString> names(saved.begin(), saved.end());
    EXPECT_EQ(names.size(), std::size_t(kSavers));
    for (int i = 0; i < kSavers; ++i) {
        EXPECT_EQ(readAll(saved[i]), QByteArray::number(i)) << saved[i].toStdString();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), kSavers);
}

TEST_F(SaveWithoutReplacingTest, AFailedSaveLeavesTheDownloadWhereItWasAndSaysWhyInChinese) {
    const QString source = downloaded(QStringLiteral("a"), "bytes");
    try {
        saveWithoutReplacing(source, folder, QString(300, QLatin1Char('n')));
        FAIL() << "a name longer than the file system allows cannot be saved";
    } catch (const DownloadFailure &failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("文件名过长"));
        EXPECT_TRUE(QString::fromUtf8(failure.what()).contains(QStringLiteral("File name too long")));
    }
    EXPECT_EQ(readAll(source), QByteArray("bytes"));
    EXPECT_TRUE(QDir(folder).isEmpty());
}
