#pragma once
// The plug-ins found in the template folders.

#include "ui/ModelView.h"

class QListWidget;

namespace quillon {

class InstalledPluginsPanel final : public ModelView {
    Q_OBJECT
public:
    explicit InstalledPluginsPanel(PluginManager &manager, QWidget *parent = nullptr);

protected:
    void refresh() override;

private:
    QListWidget *m_plugins;
};

} // namespace quillon
