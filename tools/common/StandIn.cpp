#include "common/StandIn.h"

#include <QDir>
#include <QFileInfo>

namespace standin {

std::optional<QString> sandboxRoot(QString &error) {
    const QString named = QString::fromLocal8Bit(qgetenv(sandboxRootVariable));
    if (named.isEmpty() || !QDir::isAbsolutePath(named)) {
        error = QStringLiteral("%1 must name the folder that stands for /; the stand-in never acts on the real system")
                    .arg(QLatin1String(sandboxRootVariable));
        return std::nullopt;
    }
    const QString resolved = QFileInfo(named).canonicalFilePath();
    if (resolved.isEmpty() || !QFileInfo(resolved).isDir()) {
        error = QStringLiteral("the sandbox root %1 is not a folder").arg(named);
        return std::nullopt;
    }
    return resolved;
}

void writeLine(FILE *stream, const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace standin
