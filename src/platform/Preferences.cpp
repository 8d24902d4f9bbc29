#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillon {
namespace {

bool readJson(QIODevice &device, QSettings::SettingsMap &map) {
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty()) {
        return true;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return false;
    }
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        map.insert(it.key(), it.value().toVariant());
    }
    return true;
}

bool writeJson(QIODevice &device, const QSettings::SettingsMap &map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it) {
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    }
    return device.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) >= 0;
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson, Qt::CaseSensitive);
    return format;
}

bool isStringVariant(const QVariant &value) {
    return value.typeId() == QMetaType::QString;
}

} // namespace

std::shared_ptr<Preferences> Preferences::standard() {
#ifdef Q_OS_MACOS
    return std::make_shared<Preferences>(std::make_unique<QSettings>());
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return inFile(QDir(folder).filePath(QStringLiteral("Quillon/preferences.json")));
#endif
}

std::shared_ptr<Preferences> Preferences::inFile(const QString &path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return std::make_shared<Preferences>(std::make_unique<QSettings>(path, jsonFormat()));
}

Preferences::Preferences(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

bool Preferences::contains(const QString &key) const { return m_settings->contains(key); }

QVariant Preferences::value(const QString &key) const { return m_settings->value(key); }

void Preferences::setValue(const QString &key, const QVariant &value) { m_settings->setValue(key, value); }

void Preferences::remove(const QString &key) { m_settings->remove(key); }

std::optional<QString> Preferences::string(const QString &key) const {
    const QVariant v = value(key);
    if (!isStringVariant(v)) {
        return std::nullopt;
    }
    return v.toString();
}

std::optional<qint64> Preferences::integer(const QString &key) const {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
        return v.toLongLong();
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (d == static_cast<double>(static_cast<qint64>(d))) {
            return static_cast<qint64>(d);
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<bool> Preferences::boolean(const QString &key) const {
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    return v.toBool();
}

std::optional<QStringList> Preferences::stringArray(const QString &key) const {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QStringList) {
        return v.toStringList();
    }
    if (v.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QStringList list;
    for (const QVariant &element : v.toList()) {
        if (!isStringVariant(element)) {
            return std::nullopt;
        }
        list.append(element.toString());
    }
    return list;
}

std::optional<QVariantMap> Preferences::stringDictionary(const QString &key) const {
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QVariantMap && v.typeId() != QMetaType::QVariantHash) {
        return std::nullopt;
    }
    const QVariantMap map = v.toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (!isStringVariant(it.value())) {
            return std::nullopt;
        }
    }
    return map;
}

void Preferences::sync() { m_settings->sync(); }

QString Preferences::fileName() const { return m_settings->fileName(); }

} // namespace quillon
