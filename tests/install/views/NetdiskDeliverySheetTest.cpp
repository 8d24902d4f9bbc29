// The cloud-drive delivery sheet, rendered offscreen, and its presentation by the main window.
#include "install/views/NetdiskDeliverySheet.h"
#include "model/PluginManager.h"
#include "support/Printing.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QUrl shareLink(QStringLiteral("https://pan.baidu.com/s/1vReL-Transitions_2024-abcdefghijklmnopqrstuvwxyz0123456789?pwd=k9f2"));

NetdiskDelivery linkOnly() {
    return NetdiskDelivery{QUuid::createUuid(), QStringLiteral("Vrel 转场包"), shareLink, {}, {}, QStringLiteral("   "), false};
}

NetdiskDelivery full() {
    return NetdiskDelivery{QUuid::createUuid(), QStringLiteral("Vrel 字幕合集"), shareLink, QStringLiteral("k9f2"),
                           QStringLiteral("vrel@2024"), QStringLiteral("解压后双击 .pkg 安装。"), true};
}

/// How many pixels inside `widget`'s area of `image` are close to `colour`.
int pixelsNear(const QImage &image, const QWidget *sheet, const QWidget *widget, const QColor &colour) {
    const QRect area(widget->mapTo(sheet, QPoint(0, 0)), widget->size());
    const qreal scale = image.devicePixelRatio();
    int count = 0;
    for (int y = int(area.top() * scale); y < int(area.bottom() * scale); ++y) {
        for (int x = int(area.left() * scale); x < int(area.right() * scale); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40) {
                ++count;
            }
        }
    }
    return count;
}

int top(const QWidget *sheet, const QWidget *widget) { return widget->mapTo(sheet, QPoint(0, 0)).y(); }

class NetdiskDeliverySheetTest : public ::testing::Test {
protected:
    test::TestWorld world;
    int dismissals = 0;

    std::unique_ptr<NetdiskDeliverySheet> show(const NetdiskDelivery &delivery) {
        auto sheet = std::make_unique<NetdiskDeliverySheet>(delivery, world.pasteboard, world.workspace,
                                                            [this] { ++dismissals; });
        sheet->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
        return sheet;
    }
    template <typename T = QWidget>
    static T *child(const QWidget *sheet, const char *name) {
        return sheet->findChild<T *>(QString::fromLatin1(name));
    }
};

const QColor orange(0xFF, 0x95, 0x00);
const QColor green(0x34, 0xC7, 0x59);

} // namespace

TEST_F(NetdiskDeliverySheetTest, ALinkOnlyDeliveryShowsTheLinkAndNothingElseToCopy) {
    auto sheet = show(linkOnly());
    EXPECT_EQ(sheet->width(), 560);
    EXPECT_EQ(child<QLabel>(sheet.get(), "title")->text(), QStringLiteral("领取网盘内容"));
    EXPECT_TRUE(child<QLabel>(sheet.get(), "title")->font().bold());
    EXPECT_EQ(child<QTextBrowser>(sheet.get(), "productName")->toPlainText(), QStringLiteral("Vrel 转场包"));
    EXPECT_EQ(child<QPushButton>(sheet.get(), "close")->text(), QStringLiteral("关闭"));

    EXPECT_EQ(child<QGroupBox>(sheet.get(), "linkBox")->title(), QStringLiteral("完整百度网盘链接"));
    auto *fullLink = child<QTextBrowser>(sheet.get(), "fullLink");
    EXPECT_EQ(fullLink->toPlainText(), shareLink.toString());
    EXPECT_TRUE(fullLink->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(fullLink->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_TRUE(child<QLabel>(sheet.get(), "openLink")->text().contains(QStringLiteral("直接打开百度网盘")));
    EXPECT_EQ(child<QPushButton>(sheet.get(), "copyLink")->text(), QStringLiteral("复制链接"));

    // No code, no password, and a blank note shows nothing.
    EXPECT_EQ(child(sheet.get(), "codeBox"), nullptr);
    EXPECT_EQ(child(sheet.get(), "passwordBox"), nullptr);
    EXPECT_EQ(child(sheet.get(), "note"), nullptr);
    EXPECT_EQ(child<QLabel>(sheet.get(), "footer")->text(),
              QStringLiteral("本窗口中的打开和复制操作只使用本次已返回的信息，不会再次请求领取接口或消耗领取次数。"));
    EXPECT_EQ(world.pasteboard->writes, 0) << "nothing is copied before the user asks";
}

TEST_F(NetdiskDeliverySheetTest, WhenTheBrowserDidNotOpenTheNoticeIsOrangeAndPromisesNoNewClaim) {
    auto sheet = show(linkOnly());
    auto *notice = child<QLabel>(sheet.get(), "notice");
    EXPECT_EQ(notice->text(),
              QStringLiteral("未能自动打开浏览器。请直接点击下方完整链接，或复制领取信息后自行打开；不会再次发起领取。"));
    const QImage image = sheet->grab().toImage();
    EXPECT_GT(pixelsNear(image, sheet.get(), notice, orange), 30);

    auto opened = show(full());
    auto *calm = child<QLabel>(opened.get(), "notice");
    EXPECT_EQ(calm->text(), QStringLiteral("已尝试为你打开百度网盘。若浏览器没有跳转，仍可直接点击下方完整链接或复制领取信息。"));
    EXPECT_EQ(pixelsNear(opened->grab().toImage(), opened.get(), calm, orange), 0);
}

TEST_F(NetdiskDeliverySheetTest, AFullDeliveryShowsEachPieceInOrder) {
    auto sheet = show(full());
    auto *codeBox = child<QGroupBox>(sheet.get(), "codeBox");
    auto *passwordBox = child<QGroupBox>(sheet.get(), "passwordBox");
    ASSERT_NE(codeBox, nullptr);
    ASSERT_NE(passwordBox, nullptr);
    EXPECT_EQ(codeBox->title(), QStringLiteral("百度网盘提取码"));
    EXPECT_EQ(passwordBox->title(), QStringLiteral("压缩包密码"));

    auto *code = child<QTextBrowser>(sheet.get(), "code");
    EXPECT_EQ(code->toPlainText(), QStringLiteral("k9f2"));
    EXPECT_TRUE(code->font().bold());
    EXPECT_GT(code->font().pixelSize(), child<QTextBrowser>(sheet.get(), "password")->font().pixelSize());
    EXPECT_EQ(child<QTextBrowser>(sheet.get(), "password")->toPlainText(), QStringLiteral("vrel@2024"));
    EXPECT_EQ(child<QPushButton>(sheet.get(), "copyCode")->text(), QStringLiteral("一键复制"));
    EXPECT_EQ(child<QPushButton>(sheet.get(), "copyPassword")->text(), QStringLiteral("复制"));
    EXPECT_EQ(child<QLabel>(sheet.get(), "note")->text(), QStringLiteral("解压后双击 .pkg 安装。"));

    const QList<const char *> order{"title", "notice", "linkBox", "codeBox", "passwordBox", "note", "copyAll", "footer"};
    for (qsizetype i = 1; i < order.size(); ++i) {
        EXPECT_LT(top(sheet.get(), child(sheet.get(), order[i - 1])), top(sheet.get(), child(sheet.get(), order[i])))
            << order[i - 1] << " above " << order[i];
    }
}

TEST_F(NetdiskDeliverySheetTest, LongTextsWrapInsideTheSheetAndAreShownWholeAndSelectable) {
    NetdiskDelivery delivery = full();
    delivery.productName = QStringLiteral("Vrel_Cinematic_Transitions_Collection_2024_Ultimate_Edition_For_Final_Cut_Pro");
    delivery.accessCode = QString(60, QLatin1Char('K'));
    delivery.archivePassword = QStringLiteral("vrel@") + QString(90, QLatin1Char('x'));
    auto sheet = show(delivery);
    EXPECT_EQ(sheet->width(), 560);
    for (const auto &[name, value] : {std::pair{"productName", delivery.productName}, {"code", delivery.accessCode},
                                      {"password", delivery.archivePassword}, {"fullLink", shareLink.toString()}}) {
        SCOPED_TRACE(name);
        auto *text = child<QTextBrowser>(sheet.get(), name);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->toPlainText(), value);
        EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_LE(text->mapTo(sheet.get(), QPoint(text->width(), 0)).x(), 560 - 24);
        EXPECT_GE(text->height(), text->document()->size().height()) << "no line is cut";
        EXPECT_LE(text->document()->idealWidth(), text->viewport()->width()) << "nothing runs past the edge";
    }
}

TEST_F(NetdiskDeliverySheetTest, EachCopyButtonPutsItsPieceOnThePasteboardAndConfirmsInGreen) {
    auto sheet = show(full());
    auto *confirmation = child<QLabel>(sheet.get(), "copiedItem");
    EXPECT_TRUE(sheet->copiedItem().isEmpty());
    EXPECT_FALSE(confirmation->isVisible());

    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyLink"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, shareLink.toString());
    EXPECT_EQ(sheet->copiedItem(), QStringLiteral("已复制链接"));

    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyCode"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("k9f2"));
    EXPECT_EQ(confirmation->text(), QStringLiteral("已复制提取码"));
    EXPECT_TRUE(confirmation->isVisible());
    // The confirmation sits beside the copy-all button.
    EXPECT_EQ(top(sheet.get(), confirmation) / 10, top(sheet.get(), child(sheet.get(), "copyAll")) / 10);
    EXPECT_GT(pixelsNear(sheet->grab().toImage(), sheet.get(), confirmation, green), 10);

    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyPassword"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("vrel@2024"));
    EXPECT_EQ(sheet->copiedItem(), QStringLiteral("已复制压缩包密码"));

    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyAll"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, full().allClaimInformation());
    EXPECT_EQ(sheet->copiedItem(), QStringLiteral("已复制全部领取信息"));
    EXPECT_EQ(world.pasteboard->writes, 4);
}

TEST_F(NetdiskDeliverySheetTest, TheLinksOpenTheSharePageAndCloseDismisses) {
    auto sheet = show(linkOnly());
    auto *open = child<QLabel>(sheet.get(), "openLink");
    QTest::mouseClick(open, Qt::LeftButton, {}, QPoint(8, open->height() / 2));
    ASSERT_EQ(world.workspace->openedURLs.size(), 1);
    EXPECT_EQ(world.workspace->openedURLs.first(), shareLink);

    auto *fullLink = child<QTextBrowser>(sheet.get(), "fullLink");
    QTest::mouseClick(fullLink->viewport(), Qt::LeftButton, {}, QPoint(8, 6));
    ASSERT_EQ(world.workspace->openedURLs.size(), 2);
    EXPECT_EQ(world.workspace->openedURLs.last(), shareLink);

    QTest::mouseClick(child<QPushButton>(sheet.get(), "close"), Qt::LeftButton);
    EXPECT_EQ(dismissals, 1);
}

// ---- Presented by the main window ----

TEST_F(NetdiskDeliverySheetTest, TheMainWindowShowsTheModelsDeliveryWhileItsFlagIsTrue) {
    PluginManager model{world.environment()};
    ContentView view{model};
    view.show();

    const NetdiskDelivery first = full();
    model.setNetdiskDelivery(first);
    model.setShowNetdiskDelivery(true);
    auto *sheet = qobject_cast<NetdiskDeliverySheet *>(view.netdiskDeliverySheet().sheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->delivery(), first);
    EXPECT_TRUE(sheet->isVisible());

    // Copying uses the model's pasteboard.
    QTest::mouseClick(child<QPushButton>(sheet, "copyCode"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("k9f2"));

    // A new delivery while the sheet is up is shown as a fresh sheet.
    NetdiskDelivery second = linkOnly();
    model.setNetdiskDelivery(second);
    EXPECT_EQ(sheet->delivery(), second);
    EXPECT_TRUE(sheet->copiedItem().isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return child(sheet, "codeBox") == nullptr; }));
    EXPECT_EQ(child<QTextBrowser>(sheet, "productName")->toPlainText(), QStringLiteral("Vrel 转场包"));

    // Close dismisses: the flag goes false and the sheet away.
    QPointer<QDialog> shown(sheet);
    QTest::mouseClick(child<QPushButton>(sheet, "close"), Qt::LeftButton);
    EXPECT_FALSE(model.showNetdiskDelivery());
    EXPECT_EQ(view.netdiskDeliverySheet().sheet(), nullptr);
    EXPECT_TRUE(test::waitUntil([&] { return shown.isNull() || !shown->isVisible(); }));
}

TEST_F(NetdiskDeliverySheetTest, WithoutADeliveryTheSheetIsEmpty) {
    PluginManager model{world.environment()};
    ContentView view{model};
    view.show();
    model.setShowNetdiskDelivery(true);
    QDialog *sheet = view.netdiskDeliverySheet().sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(qobject_cast<NetdiskDeliverySheet *>(sheet), nullptr);
    EXPECT_TRUE(sheet->findChildren<QWidget *>().isEmpty());
    sheet->reject();
    EXPECT_FALSE(model.showNetdiskDelivery());
}

TEST_F(NetdiskDeliverySheetTest, TheServicesTextsAreShownAndCopiedWithoutControlOrDirectionCharacters) {
    // A product name that would read as "exe.jpg", and pieces carrying a NUL, a bell, a
    // terminal colour sequence, line breaks and isolates.
    const NetdiskDelivery hostile{QUuid::createUuid(), QString::fromUtf16(u"Vrel gpj\u202E.exe\u2028包"), shareLink,
                                  QString::fromUtf16(u"k9\u0007f2\u001B[31m\r\n"),
                                  QStringLiteral("pw") + QChar(0) + QString::fromUtf16(u"\u2066@2024\u2069"),
                                  QString::fromUtf16(u"第一行\r\n第二行\u202E\u0007\u2028第三行"), true};
    auto sheet = show(hostile);
    EXPECT_EQ(sheet->delivery(), hostile) << "the record keeps what the service sent";

    EXPECT_EQ(child<QTextBrowser>(sheet.get(), "productName")->toPlainText(), QStringLiteral("Vrel gpj.exe包"));
    EXPECT_EQ(child<QTextBrowser>(sheet.get(), "code")->toPlainText(), QStringLiteral("k9f2[31m"));
    EXPECT_EQ(child<QTextBrowser>(sheet.get(), "password")->toPlainText(), QStringLiteral("pw@2024"));
    auto *note = child<QLabel>(sheet.get(), "note");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("第一行\n第二行\n第三行"));
    EXPECT_EQ(note->textFormat(), Qt::PlainText);

    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyCode"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("k9f2[31m"));
    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyPassword"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("pw@2024"));
    QTest::mouseClick(child<QPushButton>(sheet.get(), "copyAll"), Qt::LeftButton);
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("百度网盘链接：") + shareLink.toString(QUrl::FullyEncoded) +
                                              QStringLiteral("\n提取码：k9f2[31m\n压缩包密码：pw@2024\n说明：第一行\n第二行\n第三行"));
}
