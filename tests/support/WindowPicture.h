#pragma once
// A picture of a window as the user sees it: the window with every other visible top-level
// window (its sheets, message boxes) painted over it where it stands. Grabbed widget by widget,
// so sheets come out whole where a capture of the screen shows them black.

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace quillon::test {

inline QPixmap windowPicture(QWidget &window) {
    QList<QWidget *> layers{&window};
    QRect canvas = window.geometry();
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top != &window && top->isVisible()) {
            layers.append(top);
            canvas |= top->geometry();
        }
    }
    QPixmap picture(canvas.size());
    picture.fill(Qt::darkGray);
    QPainter painter(&picture);
    for (QWidget *layer : layers) {
        painter.drawPixmap(layer->geometry().topLeft() - canvas.topLeft(), layer->grab());
    }
    return picture;
}

} // namespace quillon::test
