#pragma once
// The schematic of the Final Cut Pro window, zoomed on the corner where one browser
// category is reached: the top-left corner for titles and generators, the timeline
// toolbar and effects browser for effects and transitions. Drawn in a fixed design space
// of 570 x 315 units; the caller scales it.

#include "records/InstallLocations.h"

#include <QImage>
#include <QSizeF>
#include <QStringList>

class QPainter;

namespace quillon {

class FCPWindowSchematic final {
public:
    static constexpr qreal designWidth = 570;
    static constexpr qreal designHeight = 315;
    /// How much of the scaled drawing the card shows.
    static constexpr qreal visibleHeight = 295;

    /// Drawn when no folder name is known yet.
    static QString placeholderFolderName();

    /// The names written into the schematic: `folders`, or the placeholder when it is empty.
    static QStringList shownNames(const QStringList &folders);

    /// The first `count` user-perceived characters of `text` (all of it when shorter), no ellipsis.
    static QString leadingCharacters(const QString &text, int count);

    /// The landscape of the preview tiles, loaded once; a null image when it is missing.
    static const QImage &landscape();

    /// Paints the whole schematic of `category` in design units at the painter's origin,
    /// glyph overlay included; `picture` fills the preview tiles unless it is null.
    static void paint(QPainter &painter, FCPLocation category, const QStringList &folders, const QImage &picture);
};

} // namespace quillon
