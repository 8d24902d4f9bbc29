#include "app/WindowConfigurator.h"

#include "platform/Preferences.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace quillon {

WindowLayoutDecision decideWindowLayout(std::optional<QSize> visibleFrame, QSize currentContent, qint64 storedVersion) {
    WindowLayoutDecision decision;
    if (visibleFrame) {
        decision.minimum = QSize(std::min(kMinimumContentSize.width(), visibleFrame->width()),
                                 std::min(kMinimumContentSize.height(), visibleFrame->height()));
    } else {
        decision.minimum = kMinimumContentSize;
    }
    const bool outdated = storedVersion < kWindowLayoutVersion;
    const bool tooSmall = currentContent.width() < decision.minimum.width() ||
                          currentContent.height() < decision.minimum.height();
    if (!outdated && !tooSmall) {
        return decision;
    }
    if (visibleFrame) {
        decision.resizeTo = QSize(std::min(std::max(visibleFrame->width() - 48, decision.minimum.width()), 1440),
                                  std::min(std::max(visibleFrame->height() - 48, decision.minimum.height()), 900));
    } else {
        decision.resizeTo = QSize(1440, 900);
    }
    return decision;
}

void configureWindow(QWidget &window, Preferences &preferences) {
    QScreen *screen = window.screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    std::optional<QSize> visible;
    if (screen) {
        visible = screen->availableGeometry().size();
    }
    const WindowLayoutDecision decision = decideWindowLayout(
        visible, window.size(), preferences.integer(QString::fromLatin1(kWindowLayoutVersionKey)).value_or(0));
    window.setMinimumSize(decision.minimum);
    if (!decision.resizeTo) {
        return;
    }
    window.resize(*decision.resizeTo);
    if (screen) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    if (QWidget *focused = window.focusWidget()) {
        focused->clearFocus();
    }
    preferences.setValue(QString::fromLatin1(kWindowLayoutVersionKey), kWindowLayoutVersion);
    preferences.sync();
}

void scheduleWindowConfiguration(QWidget *window, Preferences &preferences) {
    QPointer<QWidget> weak = window;
    QTimer::singleShot(0, [weak, &preferences] {
        if (weak) {
            configureWindow(*weak, preferences);
        }
    });
}

} // namespace quillon
