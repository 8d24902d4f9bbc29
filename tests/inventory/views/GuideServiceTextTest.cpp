// The location guide names products as the service does and folders as the disk does:
// its lines show those names without control or direction characters.
#include "inventory/views/FCPInterfaceDiagram.h"
#include "inventory/views/InstallLocationGuide.h"

#include <QCoreApplication>
#include <QLabel>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

QStringList shownLines(const QWidget &guide) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList texts;
    for (const QLabel *label : guide.findChildren<QLabel *>()) {
        texts.append(label->text());
    }
    return texts;
}

} // namespace

TEST(GuideServiceText, NamesAndFailureTextsLoseControlAndDirectionCharactersButKeepTheirLines) {
    InstallLocationSummary summary;
    summary.succeeded = {QString::fromUtf16(u"Vrel gpj\u202E.exe\u0007")};
    summary.failures = {QString::fromUtf16(u"Vrel 光效\u2066：安装未完成：macOS 安装失败：\u001B[31merror\r\nline two")};
    summary.pending = {QString::fromUtf16(u"Vrel 模板\u202D包")};
    InstallLocationGuide guide(summary, std::nullopt, [] {});
    guide.show();
    const QStringList lines = shownLines(guide);
    EXPECT_TRUE(lines.contains(QStringLiteral("Vrel gpj.exe"))) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Vrel 光效：安装未完成：macOS 安装失败：[31merror\nline two")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Vrel 模板包：已打开 macOS 安装器，请在系统窗口完成安装。")));
}

TEST(GuideServiceText, FolderNamesFromDiskLoseControlAndDirectionCharacters) {
    InstallLocationSummary summary;
    summary.record(QStringLiteral("Vrel"), {InstallLocationEntry{FCPLocation::effects, QString::fromUtf16(u"Glow\u202E\u0007Pack")},
                                            InstallLocationEntry{FCPLocation::effects, QString::fromUtf16(u"Blur\u2067Pack")}});
    summary.isBrowsing = true;
    InstallLocationGuide guide(summary, std::nullopt, [] {});
    guide.show();
    const QStringList lines = shownLines(guide);
    EXPECT_TRUE(lines.contains(QStringLiteral("GlowPack"))) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("BlurPack")));
    // The window schematic draws the same names.
    const auto *diagram = guide.findChild<FCPInterfaceDiagram *>();
    ASSERT_NE(diagram, nullptr);
    EXPECT_EQ(diagram->folders(), (QStringList{QStringLiteral("BlurPack"), QStringLiteral("GlowPack")}));
}
