#pragma once
// Sizes and centres the main window once per layout version, and whenever it is
// smaller than the minimum (for example after a move to a smaller screen).

#include <QSize>

#include <optional>

class QWidget;

namespace quillon {

class Preferences;

inline constexpr int kWindowLayoutVersion = 358;
inline const char *const kWindowLayoutVersionKey = "vrel.window.layout.version";
inline constexpr QSize kMinimumContentSize{1240, 780};
/// The main window's place and size when it was last closed (QWidget::saveGeometry, base64).
inline const char *const kWindowGeometryKey = "vrel.window.geometry";

struct WindowLayoutDecision {
    QSize minimum;                 ///< set as the content minimum every time
    std::optional<QSize> resizeTo; ///< a new content size, centred; none leaves the window alone

    friend bool operator==(const WindowLayoutDecision &, const WindowLayoutDecision &) = default;
};

/// The layout for a screen whose visible frame is `visibleFrame` (none without a screen),
/// a window whose content is `currentContent`, and the stored layout version.
WindowLayoutDecision decideWindowLayout(std::optional<QSize> visibleFrame, QSize currentContent, qint64 storedVersion);

/// Applies the decision to `window` on the main thread: minimum, size, centring, focus,
/// and the stored version.
void configureWindow(QWidget &window, Preferences &preferences);

/// Runs configureWindow from the event loop, after the caller has returned; nothing
/// happens when the window is gone by then.
void scheduleWindowConfiguration(QWidget *window, Preferences &preferences);

} // namespace quillon
