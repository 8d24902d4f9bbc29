#include "app/QuillonApp.h"

#include "app/DesktopEnvironment.h"
#include "app/LaunchOptions.h"
#include "app/WindowConfigurator.h"
#include "model/PluginManager.h"
#include "platform/Preferences.h"
#include "ui/ContentView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWidget>

namespace quillon {
namespace {

/// The main window: on closing (by hand or when the application quits) it leaves its
/// place and size in the preferences, for the next start to open there.
class MainWindow final : public QWidget {
public:
    explicit MainWindow(Preferences &preferences) : m_preferences(preferences) {}

protected:
    void closeEvent(QCloseEvent *event) override {
        m_preferences.setValue(QString::fromLatin1(kWindowGeometryKey), QString::fromLatin1(saveGeometry().toBase64()));
        m_preferences.sync();
        QWidget::closeEvent(event);
    }

private:
    Preferences &m_preferences;
};

} // namespace

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
        Preferences &preferences = manager().defaults();
        m_window = std::make_unique<MainWindow>(preferences);
        m_window->setWindowTitle(QStringLiteral("Vrel 插件中心"));
        // Where the window was left. The configuration then sets the minimum for its screen
        // (a fixed one here would stretch a window left on a small screen) and still resizes
        // on the first start of a layout version and when the window is smaller than that.
        const std::optional<QString> saved = preferences.string(QString::fromLatin1(kWindowGeometryKey));
        if (!saved || !m_window->restoreGeometry(QByteArray::fromBase64(saved->toLatin1()))) {
            m_window->setMinimumSize(kMinimumContentSize);
        }
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
