#include "ui/ModelView.h"

#include "model/PluginManager.h"

#include <QTimer>

namespace quillon {

ModelView::ModelView(PluginManager &manager, QWidget *parent) : QWidget(parent), m_manager(manager) {
    connect(&manager, &PluginManager::changed, this, [this] {
        if (m_refreshQueued) {
            return;
        }
        m_refreshQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_refreshQueued = false;
            refresh();
        });
    });
}

void ModelView::refreshNow() {
    m_refreshQueued = false;
    refresh();
}

} // namespace quillon
