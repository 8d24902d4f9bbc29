#include "app/QuillonApp.h"

#include "app/LaunchOptions.h"
#include "app/WindowConfigurator.h"
#include "core/PluginManager.h"
#include "platform/desktop/DesktopEnvironment.h"
#include "ui/ContentView.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWidget>

namespace quillon {

QuillonApp::QuillonApp()
    : QuillonApp(desktopEnvironment(QCoreApplication::arguments(), isGuidePreview())) {}

QuillonApp::QuillonApp(ModelEnvironment environment)
    : m_environment(std::make_unique<ModelEnvironment>(std::move(environment))) {}

QuillonApp::~QuillonApp() {
    // The window's views read the model: they go first.
    m_window.reset();
    m_manager.reset();
}

PluginManager &QuillonApp::manager() {
    if (!m_manager) {
        m_manager = std::make_unique<PluginManager>(*m_environment);
        m_manager->start();
    }
    return *m_manager;
}

QWidget &QuillonApp::window() {
    if (!m_window) {
        m_window = std::make_unique<QWidget>();
        m_window->setWindowTitle(QStringLiteral("Vrel 插件中心"));
        m_window->setMinimumSize(kMinimumContentSize);
        auto *layout = new QVBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new ContentView(manager()));
    }
    return *m_window;
}

void QuillonApp::show() {
    QWidget &w = window();
    w.show();
    scheduleWindowConfiguration(&w, manager().defaults());
    // The preview start-up fills the sample summary; the preview exists to look at the guide.
    if (m_environment->isGuidePreview) {
        manager().setShowLocationGuide(true);
    }
}

} // namespace quillon
