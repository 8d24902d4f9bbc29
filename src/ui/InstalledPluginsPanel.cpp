#include "ui/InstalledPluginsPanel.h"

#include "core/PluginManager.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

InstalledPluginsPanel::InstalledPluginsPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_plugins(new QListWidget(this)),
      m_rescan(new QPushButton(QStringLiteral("刷新"), this)),
      m_location(new QPushButton(QStringLiteral("查看位置"), this)),
      m_allLocations(new QPushButton(QStringLiteral("查看全部位置"), this)) {
    m_plugins->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_rescan);
    buttons->addStretch(1);
    buttons->addWidget(m_location);
    buttons->addWidget(m_allLocations);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plugins, 1);
    layout->addLayout(buttons);

    connect(m_rescan, &QPushButton::clicked, this, [this] { m_manager.refreshInstalledPlugins(); });
    connect(m_location, &QPushButton::clicked, this, &InstalledPluginsPanel::showSelectedLocation);
    connect(m_allLocations, &QPushButton::clicked, this, [this] { m_manager.viewInstalledLocations(std::nullopt); });
    connect(m_plugins, &QListWidget::itemSelectionChanged, this, &InstalledPluginsPanel::updateButtons);
    connect(m_plugins, &QListWidget::itemDoubleClicked, this, &InstalledPluginsPanel::showSelectedLocation);
    refreshNow();
}

QString InstalledPluginsPanel::rowText(const InstalledPlugin &plugin) {
    return plugin.category + QStringLiteral(" · ") + plugin.name;
}

void InstalledPluginsPanel::refresh() {
    const QList<InstalledPlugin> &plugins = m_manager.installedPlugins();
    if (plugins != m_shown) {
        // Keep the selected plug-in selected when it is still there.
        const int selectedRow = m_plugins->currentRow();
        const QString selectedId =
            selectedRow >= 0 && selectedRow < m_shown.size() ? m_shown.at(selectedRow).id() : QString();
        m_shown = plugins;
        m_plugins->clear();
        for (const InstalledPlugin &plugin : m_shown) {
            auto *item = new QListWidgetItem(rowText(plugin), m_plugins);
            item->setToolTip(plugin.paths.join(QLatin1Char('\n')));
            if (!selectedId.isEmpty() && plugin.id() == selectedId) {
                m_plugins->setCurrentItem(item);
            }
        }
    }
    updateButtons();
}

void InstalledPluginsPanel::updateButtons() {
    const bool idle = !m_manager.isWorking();
    const int row = m_plugins->currentRow();
    const bool selected = row >= 0 && row < m_shown.size() && m_plugins->currentItem() &&
                          m_plugins->currentItem()->isSelected();
    m_location->setEnabled(idle && selected);
    m_allLocations->setEnabled(idle);
}

void InstalledPluginsPanel::showSelectedLocation() {
    const int row = m_plugins->currentRow();
    if (row < 0 || row >= m_shown.size()) {
        return;
    }
    m_manager.viewInstalledLocations(m_shown.at(row));
}

} // namespace quillon
