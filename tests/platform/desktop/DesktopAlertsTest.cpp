// The desktop's modal alert, answered by clicking its button once it is on screen.
#include "platform/desktop/DesktopServices.h"
#include "support/ShownText.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace quillon;

namespace {

/// Runs `look` on the first alert that shows up, then presses its first button.
void whenAnAlertShows(std::function<void(QMessageBox &)> look) {
    auto *timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, look = std::move(look)] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (box && box->isVisible()) {
                timer->stop();
                timer->deleteLater();
                look(*box);
                box->buttons().first()->click();
                return;
            }
        }
    });
    timer->start();
}

} // namespace

TEST(DesktopAlerts, TextsFromTheServiceAreShownAsWrittenWithoutControlOrDirectionCharacters) {
    AlertRequest request;
    request.messageText = QString::fromUtf16(u"<h1 style=\"color:red\">合作方</h1>\u202E\u0007");
    request.informativeText = QString::fromUtf16(u"<b>gpj\u202E.exe</b>\u001B[31m\r\n\n激活码\u2066已复制");
    request.buttons = {QStringLiteral("好的")};
    QStringList shown;
    whenAnAlertShows([&](QMessageBox &box) {
        for (const QLabel *label : box.findChildren<QLabel *>()) {
            if (label->text().isEmpty()) {
                continue;
            }
            // The alert keeps clauses whole with invisible word joiners; they are layout, not text.
            shown.append(test::shownText(*label).remove(QChar(0x2060)));
        }
    });
    DesktopAlerts alerts;
    EXPECT_EQ(alerts.runModal(request), 0);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("<b>gpj.exe</b>[31m\n\n激活码已复制"),
                                  QStringLiteral("<h1 style=\"color:red\">合作方</h1>")}));
}
