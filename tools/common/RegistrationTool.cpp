#include "common/RegistrationTool.h"

#include "common/Registry.h"
#include "common/StandIn.h"

#include <QFileInfo>

namespace standin {

int runRegistrationTool(const RegistrationTool &tool, const QStringList &arguments) {
    const QString prefix = tool.name + QStringLiteral(" (stand-in): ");
    if (arguments.size() != 2 || arguments[0] != tool.option || arguments[1].isEmpty()) {
        writeLine(stderr, prefix + QStringLiteral("usage: %1 %2 PATH").arg(tool.name, tool.option));
        return 2;
    }
    QString error;
    const std::optional<QString> root = sandboxRoot(error);
    if (!root) {
        writeLine(stderr, prefix + error);
        return 3;
    }
    const QString path = QFileInfo(arguments[1]).absoluteFilePath();
    std::optional<BundleInfo> bundle = readBundle(path, error);
    if (bundle && tool.problem) {
        error = tool.problem(path, *bundle);
    }
    if (!bundle || !error.isEmpty()) {
        writeLine(stderr, prefix + QStringLiteral("cannot register %1: %2").arg(path, error));
        return 1;
    }
    if (!recordRegistration(*root, tool.registry, path, bundle->identifier, error)) {
        writeLine(stderr, prefix + error);
        return 1;
    }
    return 0;
}

} // namespace standin
