// Stand-in for macOS's /usr/bin/pluginkit, for development and trial runs away from macOS.
//
//   pluginkit -a EXT
//
// adds the plug-in bundle EXT: its Contents/Info.plist must name an identifier, an
// executable that exists, and declare itself a plug-in (a "PlugInKit" or "NSExtension"
// dictionary). The registration is recorded in the "pluginkit" registry under
// QUILLON_SANDBOX_ROOT (see Registry.h). Exit statuses: see RegistrationTool.h.

#include "common/RegistrationTool.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    standin::RegistrationTool tool;
    tool.name = QStringLiteral("pluginkit");
    tool.option = QStringLiteral("-a");
    tool.registry = QStringLiteral("pluginkit");
    tool.problem = [](const QString &, const standin::BundleInfo &bundle) {
        for (const QString &key : {QStringLiteral("PlugInKit"), QStringLiteral("NSExtension")}) {
            plist_t node = standin::nodeAt(bundle.info.get(), {key});
            if (node && plist_get_node_type(node) == PLIST_DICT) {
                return QString();
            }
        }
        return QStringLiteral("Info.plist declares no plug-in (no PlugInKit or NSExtension dictionary)");
    };
    return standin::runRegistrationTool(tool, app.arguments().mid(1));
}
