#pragma once
// Finds and loads the web-engine module (see WebPageFactory.h) the first time a web page
// is needed, and remembers the outcome for the rest of the run.

#include <QString>
#include <QStringList>

#include <memory>

class QPluginLoader;

namespace quillon {

class WebPageFactory;

class WebPageModule final {
    Q_DISABLE_COPY_MOVE(WebPageModule)
public:
    /// A module looked for in `folders`, in order.
    explicit WebPageModule(QStringList folders);
    ~WebPageModule();

    /// The application's module: beside the executable (the build tree's src/ folder, the
    /// installed program's folder), else in the build tree (for the test programs).
    static WebPageModule &shared();

    /// The module's factory, loading it on first use; null when it cannot be loaded.
    WebPageFactory *factory();
    /// Why the module could not be loaded; empty while it has not failed.
    const QString &errorString() const { return m_error; }

private:
    QStringList m_folders;
    bool m_tried = false;
    std::unique_ptr<QPluginLoader> m_loader;
    WebPageFactory *m_factory = nullptr;
    QString m_error;
};

} // namespace quillon
