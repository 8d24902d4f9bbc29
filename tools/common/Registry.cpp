#include "common/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>

namespace standin {

QString registryPath(const QString &sandboxRoot, const QString &name) {
    return QDir(sandboxRoot).filePath(QStringLiteral("var/db/quillon-stand-ins/") + name + QStringLiteral(".json"));
}

QJsonObject readRegistry(const QString &sandboxRoot, const QString &name) {
    QFile file(registryPath(sandboxRoot, name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool recordRegistration(const QString &sandboxRoot, const QString &name, const QString &bundlePath,
                        const QString &identifier, QString &error) {
    const QString path = registryPath(sandboxRoot, name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.lock()) {
        error = QStringLiteral("cannot lock %1").arg(path);
        return false;
    }
    QFile existing(path);
    if (existing.exists() && !existing.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, existing.errorString());
        return false;
    }
    QJsonParseError parse{};
    const QByteArray stored = existing.isOpen() ? existing.readAll() : QByteArray("{}");
    QJsonObject registry = QJsonDocument::fromJson(stored, &parse).object();
    if (parse.error != QJsonParseError::NoError) {
        error = QStringLiteral("%1 is damaged: %2").arg(path, parse.errorString());
        return false;
    }
    const QJsonObject before = registry.value(bundlePath).toObject();
    registry.insert(bundlePath, QJsonObject{{QStringLiteral("identifier"), identifier},
                                            {QStringLiteral("count"), before.value(QStringLiteral("count")).toInt() + 1}});
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(registry).toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace standin
