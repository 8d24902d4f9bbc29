#include "core/Account.h"
#include "core/ServiceClient.h"
#include "platform/Files.h"

#include <QSysInfo>

namespace quillon {
namespace {
const QString kDeviceIdKey = QStringLiteral("vrel.device.id");
}

QUrl Account::endpointURL(const QString &path) const {
    return quillon::endpointURL(m_host.environment().apiBase, path);
}

QString Account::deviceIdentifier() const {
    Preferences &defaults = *m_host.environment().preferences;
    if (std::optional<QString> stored = defaults.string(kDeviceIdKey)) {
        return *stored; // whatever it holds: the identifier never changes once written
    }
    const QString created = newUuid();
    defaults.setValue(kDeviceIdKey, created);
    defaults.sync();
    return created;
}

QString Account::deviceName() const { return deviceNameFor(QSysInfo::machineHostName(), deviceIdentifier()); }

ManagerSessionStore Account::sessionStore() const {
    return ManagerSessionStore(m_host.environment().paths.applicationSupport);
}

bool Account::hasWechatAccount() const { return m_host.isWechatLoggedIn() && m_host.managerAccessToken().has_value(); }

} // namespace quillon
