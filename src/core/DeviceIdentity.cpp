#include "core/PluginManager.h"
#include "core/ServiceClient.h"

#include <QSysInfo>
#include <QUuid>

namespace quillon {
namespace {
const QString kDeviceIdKey = QStringLiteral("vrel.device.id");
}

QUrl PluginManager::endpointURL(const QString &path) const { return quillon::endpointURL(m_environment.apiBase, path); }

QString PluginManager::deviceIdentifier() const {
    if (std::optional<QString> stored = defaults().string(kDeviceIdKey)) {
        return *stored; // whatever it holds: the identifier never changes once written
    }
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    defaults().setValue(kDeviceIdKey, created);
    defaults().sync();
    return created;
}

QString PluginManager::deviceName() const { return deviceNameFor(QSysInfo::machineHostName(), deviceIdentifier()); }

ManagerSessionStore PluginManager::sessionStore() const {
    return ManagerSessionStore(m_environment.paths.applicationSupport);
}

} // namespace quillon
