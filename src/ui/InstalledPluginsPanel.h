#pragma once
// The plug-ins found in the template folders, with a rescan, the way to their places inside
// Final Cut Pro (one plug-in or all of them), uninstall of the selected plug-ins after a
// confirmation, and the repair of the Motion runtime components.

#include "records/InstalledPlugin.h"
#include "ui/ModelView.h"

#include <QList>
#include <QPointer>

class QLabel;
class QListWidget;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace quillon {

class SheetBinding;

class InstalledPluginsPanel final : public ModelView {
    Q_OBJECT
public:
    explicit InstalledPluginsPanel(PluginManager &manager, QWidget *parent = nullptr);

    QListWidget *pluginList() const { return m_plugins; }
    QPushButton *rescanButton() const { return m_rescan; }
    QPushButton *locationButton() const { return m_location; }
    QPushButton *allLocationsButton() const { return m_allLocations; }
    QPushButton *uninstallButton() const { return m_uninstall; }
    QPushButton *repairButton() const { return m_repair; }
    QLabel *repairMessage() const { return m_repairMessage; }
    QProgressBar *repairProgress() const { return m_repairProgress; }
    /// The confirmation for one plug-in, bound to the model's `showPluginDeleteConfirmation`.
    SheetBinding &deleteConfirmation() const { return *m_deleteConfirmation; }
    /// The confirmation for several plug-ins while it is open, or null.
    QMessageBox *multipleDeleteConfirmation() const;

    /// The text of one row: category word, a dot, and the folder name.
    static QString rowText(const InstalledPlugin &plugin);

protected:
    void refresh() override;

private:
    QList<InstalledPlugin> selectedPlugins() const;
    void showSelectedLocation();
    void confirmUninstall();
    void updateButtons();

    QListWidget *m_plugins;
    QPushButton *m_rescan;
    QPushButton *m_location;
    QPushButton *m_allLocations;
    QPushButton *m_uninstall;
    QPushButton *m_repair;
    QLabel *m_repairMessage;
    QProgressBar *m_repairProgress;
    SheetBinding *m_deleteConfirmation;
    QPointer<QMessageBox> m_multipleConfirmation;
    QList<InstalledPlugin> m_shown;
};

} // namespace quillon
