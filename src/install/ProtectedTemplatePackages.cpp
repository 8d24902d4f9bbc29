// Which packages go to the Installer app instead of the administrator install: the
// studio's Final Cut Pro template packages, which must be installed in the platform's own
// window. They are known by their file names and by the products that deliver them.

#include "install/Installs.h"

#include <QFileInfo>

namespace quillon {
namespace {

const QStringList kProtectedFileNames{QStringLiteral("fcp-1.pkg"), QStringLiteral("fcp-2.pkg"),
                                      QStringLiteral("fcp-3.pkg")};

// The studio's Final Cut Pro template products, in lower case.
const QStringList kProtectedProductKeys{
    QStringLiteral("fcp-template-cinema-titles"),  QStringLiteral("fcp-template-social-media"),
    QStringLiteral("fcp-template-vlog-essentials"), QStringLiteral("fcp-template-wedding"),
    QStringLiteral("fcp-template-business"),        QStringLiteral("fcp-template-travel"),
    QStringLiteral("fcp-template-glitch"),          QStringLiteral("fcp-template-retro-film"),
    QStringLiteral("fcp-template-lower-thirds"),    QStringLiteral("fcp-template-holiday"),
};

} // namespace

bool Installs::usesProtectedFcpTemplatePackage(const std::optional<QString> &productKey, const QString &fileName) {
    const QString lastComponent = fileName.section(QLatin1Char('/'), -1).toLower();
    return kProtectedFileNames.contains(lastComponent) || kProtectedProductKeys.contains(productKey.value_or(QString()).toLower());
}

} // namespace quillon
