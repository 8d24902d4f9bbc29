#pragma once
// Base of the views that show the model: re-reads it once per event-loop turn after
// any change, however many properties changed in that turn.

#include <QWidget>

namespace quillon {

class PluginManager;

class ModelView : public QWidget {
    Q_OBJECT
public:
    explicit ModelView(PluginManager &manager, QWidget *parent = nullptr);

protected:
    /// Shows the model's current state.
    virtual void refresh() = 0;
    /// Call at the end of a subclass constructor to show the initial state.
    void refreshNow();

    PluginManager &m_manager;

private:
    bool m_refreshQueued = false;
};

} // namespace quillon
