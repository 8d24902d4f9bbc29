// The alerts as they are laid out on screen: the install-all confirmation breaks its lines
// between clauses, never inside "下载" or an estimate such as "2–4 分钟", and its buttons
// leave room around their texts.
#include "install/BatchInstallPlan.h"
#include "platform/desktop/AlertBox.h"
#include "support/ButtonText.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

/// The lines `label` shows its text in, as its own layout makes them.
QStringList shownLines(const QLabel &label) {
    QTextDocument document;
    document.setDefaultFont(label.font());
    document.setDocumentMargin(0);
    document.setPlainText(label.text());
    const int width = label.contentsRect().width() - 2 * label.margin();
    document.setTextWidth(width);
    // The same layout as the label's: as tall as the label says it is at that width.
    EXPECT_EQ(int(std::ceil(document.size().height())), label.contentsRect().height() - 2 * label.margin());
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout *layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            lines.append(block.text().mid(layout->lineAt(i).textStart(), layout->lineAt(i).textLength()));
        }
    }
    return lines;
}

/// What a reader sees of a line: without the invisible joiners.
QString visible(QString line) { return line.remove(QChar(0x2060)).replace(QChar::Nbsp, QLatin1Char(' ')).trimmed(); }

} // namespace

TEST(AlertBox, TheInstallAllConfirmationBreaksLinesBetweenClausesOnly) {
    for (const auto &[count, hybrid, estimate] : {std::tuple{1, 0, "2–4 分钟"}, std::tuple{3, 2, "2–4 分钟"},
                                                  std::tuple{40, 2, "14–36 分钟"}}) {
        SCOPED_TRACE(count);
        const AlertRequest request = batchConfirmation(batchInstallScope(QStringLiteral("all_plugins")), count, hybrid);
        const AlertBox alert = alertBox(request, nullptr);
        alert.box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(alert.box.get()));
        auto *label = alert.box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(visible(label->text()), request.informativeText) << "the text reads as it was given";
        EXPECT_GE(label->contentsRect().width(), 440) << "not the narrow column of the box's own limit (about 370)";

        const QStringList lines = shownLines(*label);
        QStringList readable;
        for (const QString &line : lines) {
            readable.append(visible(line));
        }
        qsizetype downloads = 0;
        bool estimateWhole = false;
        for (const QString &line : readable) {
            downloads += line.count(QStringLiteral("下载"));
            estimateWhole = estimateWhole || line.contains(QString::fromUtf8(estimate));
        }
        const std::string shown = readable.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(downloads, request.informativeText.count(QStringLiteral("下载"))) << "a line break inside 下载: " << shown;
        EXPECT_TRUE(estimateWhole) << "a line break inside " << estimate << ": " << shown;
        // Every line but a paragraph's last ends a clause.
        for (const QString &line : readable) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(QStringLiteral("，。；：").contains(line.back())) << line.toStdString();
            }
        }
        for (QAbstractButton *button : alert.buttons) {
            EXPECT_GE(test::textMargin(*button), 8) << button->text().toStdString();
        }
    }
}

TEST(AlertBox, AClauseWiderThanTheAlertStillBreaksAndLatinTextGetsNoJoiners) {
    const QFontMetrics metrics(QFont(QStringLiteral("Noto Sans CJK SC"), 10));
    const QString code = QStringLiteral("VREL-ABCD-1234");
    EXPECT_EQ(keepClausesWhole(code, metrics, 400), code) << "a code copied from the alert stays what it is";
    // Lines may break only after each clause.
    const QString joined = keepClausesWhole(QStringLiteral("预计约 2–4 分钟，实际时间取决于网速与 Mac 性能。"), metrics, 400);
    QList<qsizetype> breaks;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, joined);
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        breaks.append(at);
    }
    EXPECT_EQ(breaks, (QList<qsizetype>{joined.indexOf(QStringLiteral("，")) + 1, joined.size()})) << visible(joined).toStdString();
    EXPECT_EQ(visible(joined), QStringLiteral("预计约 2–4 分钟，实际时间取决于网速与 Mac 性能。"));
    const QString wide = QStringLiteral("很").repeated(80) + QStringLiteral("。");
    EXPECT_EQ(keepClausesWhole(wide, metrics, 400), wide) << "a clause that cannot fit keeps its breaks";
}

TEST(AlertBox, ShowsTheRequestsStyleAndOneOkWithoutButtons) {
    const std::vector<std::pair<AlertRequest::Style, QMessageBox::Icon>> styles{
        {AlertRequest::Style::Informational, QMessageBox::Information},
        {AlertRequest::Style::Warning, QMessageBox::Warning},
        {AlertRequest::Style::Critical, QMessageBox::Critical}};
    for (const auto &[style, icon] : styles) {
        AlertRequest request;
        request.style = style;
        request.messageText = QStringLiteral("合作方激活码");
        const AlertBox alert = alertBox(request, nullptr);
        EXPECT_EQ(alert.box->icon(), icon);
        ASSERT_EQ(alert.buttons.size(), 1);
        EXPECT_EQ(alert.buttons.first()->text(), QStringLiteral("好的"));
    }
}
