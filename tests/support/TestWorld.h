#pragma once
// A temporary world for one test: a home folder, a system root, Application Support,
// Downloads, a temporary folder and a preferences file, all inside one QTemporaryDir,
// plus the fake desktop. `environment()` hands it to a model.

#include "records/ModelEnvironment.h"
#include "support/Fakes.h"

#include <QTemporaryDir>

#include <memory>

namespace quillon::test {

class TestWorld final {
public:
    TestWorld();

    /// An environment over this world; the service addresses point at `base`
    /// (an unused loopback port by default, so nothing reaches the network).
    ModelEnvironment environment(const QUrl &base = QUrl(QStringLiteral("http://127.0.0.1:9/"))) const;

    /// Creates `relative` (and its parents) as a folder under the world's root; returns its path.
    QString makeFolder(const QString &relative) const;
    /// Writes `bytes` to `relative` under the world's root; returns its path.
    QString writeFile(const QString &relative, const QByteArray &bytes) const;
    QString path(const QString &relative) const;

    QTemporaryDir root;
    SystemPaths paths;
    std::shared_ptr<Preferences> preferences;
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    Timing timing = Timing::scaledDown(100);
    QStringList arguments{QStringLiteral("quillon")};
    bool isGuidePreview = false;
};

} // namespace quillon::test
