#pragma once
// The plug-ins found in the template folders, with a rescan and the way to their places
// inside Final Cut Pro (one plug-in or all of them).

#include "inventory/InstalledPlugin.h"
#include "ui/ModelView.h"

#include <QList>

class QListWidget;
class QPushButton;

namespace quillon {

class InstalledPluginsPanel final : public ModelView {
    Q_OBJECT
public:
    explicit InstalledPluginsPanel(PluginManager &manager, QWidget *parent = nullptr);

    QListWidget *pluginList() const { return m_plugins; }
    QPushButton *rescanButton() const { return m_rescan; }
    QPushButton *locationButton() const { return m_location; }
    QPushButton *allLocationsButton() const { return m_allLocations; }

    /// The text of one row: category word, a dot, and the folder name.
    static QString rowText(const InstalledPlugin &plugin);

protected:
    void refresh() override;

private:
    void showSelectedLocation();
    void updateButtons();

    QListWidget *m_plugins;
    QPushButton *m_rescan;
    QPushButton *m_location;
    QPushButton *m_allLocations;
    QList<InstalledPlugin> m_shown;
};

} // namespace quillon
