#pragma once
// Colours, fonts and text labels shared by the location guide, the window schematic and
// the category glyph. The guide is always dark, so the platform colours are the dark ones.

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QPaintDevice;
class QWidget;

namespace quillon::guide {

/// The lime of step numbers, badges, highlights and the main button (about #D6F71F).
const QColor &accent();
/// The sheet's background (about #161A17).
const QColor &surface();

/// Pure white at opacity `alpha`.
QColor white(qreal alpha);
/// Red = green = blue = `level`, opaque.
QColor grey(qreal level);
/// The platform's standard colours in their dark appearance, at opacity `alpha`.
QColor red(qreal alpha = 1);
QColor yellow(qreal alpha = 1);
QColor green(qreal alpha = 1);
QColor purple(qreal alpha = 1);
QColor gray(qreal alpha = 1);

/// The user-interface font at `pixels` logical pixels.
QFont systemFont(int pixels, QFont::Weight weight = QFont::Normal);
/// `font` resized to `pixels` logical pixels when drawn on `device` (fractional sizes allowed).
QFont resized(QFont font, qreal pixels, const QPaintDevice *device);

/// A one-line label in the system font, in `colour` (its opacity included).
QLabel *label(const QString &text, int pixels, QFont::Weight weight, const QColor &colour, QWidget *parent);

} // namespace quillon::guide
