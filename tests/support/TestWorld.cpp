#include "support/TestWorld.h"

#include "core/FixedURLs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace quillon::test {

TestWorld::TestWorld() {
    if (!root.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    paths.systemRoot = makeFolder(QStringLiteral("system"));
    paths.home = makeFolder(QStringLiteral("home"));
    paths.applicationSupport = makeFolder(QStringLiteral("home/Library/Application Support"));
    paths.downloads = makeFolder(QStringLiteral("home/Downloads"));
    paths.temporary = makeFolder(QStringLiteral("tmp"));
    preferences = Preferences::inFile(path(QStringLiteral("preferences.json")));
}

ModelEnvironment TestWorld::environment(const QUrl &base) const {
    ModelEnvironment env;
    env.preferences = preferences;
    env.paths = paths;
    env.tools = SystemTools::standIns(QStringLiteral(QUILLON_TOOLS_DIR));
    env.workspace = workspace;
    env.pasteboard = pasteboard;
    env.alerts = alerts;
    env.apiBase = base;
    env.updateManifestURL = base.resolved(QUrl(updateManifestPath()));
    env.timing = timing;
    env.arguments = arguments;
    env.isGuidePreview = isGuidePreview;
    return env;
}

QString TestWorld::path(const QString &relative) const { return root.filePath(relative); }

QString TestWorld::makeFolder(const QString &relative) const {
    const QString full = path(relative);
    if (!QDir().mkpath(full)) {
        throw std::runtime_error("cannot create folder");
    }
    return full;
}

QString TestWorld::writeFile(const QString &relative, const QByteArray &bytes) const {
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write file");
    }
    return full;
}

} // namespace quillon::test
