#include "ui/InstalledPluginsPanel.h"

#include "core/PluginManager.h"

#include <QListWidget>
#include <QVBoxLayout>

namespace quillon {

InstalledPluginsPanel::InstalledPluginsPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_plugins(new QListWidget(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plugins, 1);
    refreshNow();
}

void InstalledPluginsPanel::refresh() {
    m_plugins->clear();
    for (const InstalledPlugin &plugin : m_manager.installedPlugins()) {
        m_plugins->addItem(plugin.category + QStringLiteral(" · ") + plugin.name);
    }
}

} // namespace quillon
