#pragma once
// The registration files of the stand-in lsregister and pluginkit, under the sandbox root:
//   <root>/var/db/quillon-stand-ins/<name>.json
// one JSON object from the registered bundle's path to { "identifier": …, "count": how
// many times it was registered }.

#include <QJsonObject>
#include <QString>

namespace standin {

/// Where the registry `name` ("launchservices", "pluginkit") of `sandboxRoot` lives.
QString registryPath(const QString &sandboxRoot, const QString &name);

/// Records one registration of the bundle at `bundlePath`; false with `error` set when the
/// file cannot be read or written. Concurrent registrations are serialised by a lock file.
bool recordRegistration(const QString &sandboxRoot, const QString &name, const QString &bundlePath,
                        const QString &identifier, QString &error);

/// The whole registry (empty when there is none).
QJsonObject readRegistry(const QString &sandboxRoot, const QString &name);

} // namespace standin
