#pragma once
// Room around a push button's text. The platform style's margins leave Chinese labels almost
// touching the bevel ("查看全部位置", "重新获取二维码"); a button given this width keeps
// `margin` pixels between its text and each edge of its frame.

class QAbstractButton;

namespace quillon {

/// The least room between a button's text and its edge, in pixels.
inline constexpr int kButtonTextMargin = 12;

/// The width `button` needs for its text with `margin` pixels either side.
int widthWithTextRoom(const QAbstractButton &button, int margin = kButtonTextMargin);

} // namespace quillon
