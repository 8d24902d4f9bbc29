#pragma once
// How to reach one browser category inside Final Cut Pro: two numbered steps, a card
// with the zoomed schematic of the window (numbered badges matching the steps, the
// plug-in folder names written in), and a one-line hint. Pure presentation.

#include "records/InstallLocations.h"

#include <QStringList>
#include <QWidget>

#include <optional>

namespace quillon {

class FCPInterfaceDiagram final : public QWidget {
    Q_OBJECT

public:
    FCPInterfaceDiagram(std::optional<FCPLocation> selected, QStringList folders, QWidget *parent = nullptr);

    const std::optional<FCPLocation> &selected() const { return m_selected; }
    const QStringList &folders() const { return m_folders; }

    /// The category drawn: the selected one, or generators when none is selected.
    FCPLocation category() const { return m_selected.value_or(FCPLocation::generators); }
    /// Titles and generators are reached at the window's top-left corner.
    bool topLeft() const;

    QString firstStepTitle() const;
    QString secondStepTitle() const;
    QString cardTitle() const;
    QString hintText() const;

    /// Where the visible part of the schematic lies, in this view's coordinates.
    QRectF schematicRect() const;
    /// Design units to points: the card's width over 570.
    qreal schematicScale() const;

private:
    std::optional<FCPLocation> m_selected;
    QStringList m_folders;
    QWidget *m_card = nullptr;
};

} // namespace quillon
