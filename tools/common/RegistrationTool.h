#pragma once
// The whole of a registering stand-in (lsregister -f APP, pluginkit -a EXT): check the
// arguments and the sandbox root, check the bundle, record it in the tool's registry.
//
// Exit status: 0 registered; 1 not a usable bundle, or the registry could not be written;
// 2 unknown or missing arguments; 3 refused to run because QUILLON_SANDBOX_ROOT does not
// name a folder.

#include "common/PropertyList.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace standin {

struct RegistrationTool {
    QString name;     ///< "lsregister"
    QString option;   ///< the one option it takes before the path: "-f"
    QString registry; ///< see Registry.h
    /// Why the bundle cannot be registered beyond being a bundle at all; empty when it can.
    std::function<QString(const QString &path, const BundleInfo &)> problem;
};

int runRegistrationTool(const RegistrationTool &tool, const QStringList &arguments);

} // namespace standin
