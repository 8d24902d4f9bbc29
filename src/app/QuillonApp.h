#pragma once
// The application: exactly one model for the whole run and one window titled
// "Vrel 插件中心" whose content is the main view.

#include <QStringList>

#include <memory>

class QWidget;

namespace quillon {

class PluginManager;
struct ModelEnvironment;

class QuillonApp final {
    Q_DISABLE_COPY_MOVE(QuillonApp)
public:
    /// The application of this desktop.
    QuillonApp();
    /// An application over a given environment (tests build one in a temporary world).
    explicit QuillonApp(ModelEnvironment environment);
    ~QuillonApp();

    /// The model, created on first use and kept until the application goes.
    PluginManager &manager();
    /// The main window, built and configured on first use.
    QWidget &window();

    /// Shows the window and schedules its configuration.
    void show();

private:
    std::unique_ptr<ModelEnvironment> m_environment;
    std::unique_ptr<PluginManager> m_manager;
    std::unique_ptr<QWidget> m_window;
};

} // namespace quillon
