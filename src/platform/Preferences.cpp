#include "platform/Preferences.h"

#include "platform/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <functional>

namespace quillon {
namespace {

// QSettings reads "/" as a group separator: it drops a leading or trailing one, joins
// doubled ones, and removing a key removes every key below it. Keys here are prefixes
// followed by product keys from the service, so they must reach the store as they are.
// The escaping is applied on every backend: the macOS store goes through QSettings too
// (which further maps "." to a middle dot there, one to one), so a store-specific fix
// would leave it exposed. Only "%" and "/" are escaped, so every key in use today is
// passed on unchanged and the records already stored stay where they are.
QString escapedKey(const QString &key) {
    if (!key.contains(QLatin1Char('%')) && !key.contains(QLatin1Char('/'))) {
        return key;
    }
    QString escaped;
    escaped.reserve(key.size() + 8);
    for (const QChar c : key) {
        if (c == QLatin1Char('%')) {
            escaped += QLatin1String("%25");
        } else if (c == QLatin1Char('/')) {
            escaped += QLatin1String("%2F");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QString unescapedKey(const QString &escaped) {
    if (!escaped.contains(QLatin1Char('%'))) {
        return escaped;
    }
    QString key;
    key.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QStringView rest = QStringView(escaped).mid(i, 3);
        if (rest == QLatin1String("%25")) {
            key += QLatin1Char('%');
            i += 2;
        } else if (rest == QLatin1String("%2F")) {
            key += QLatin1Char('/');
            i += 2;
        } else {
            key += escaped.at(i);
        }
    }
    return key;
}

// Keeps a preferences file that cannot be read beside it, so that the next write starts a
// new file instead of replacing the user's device identifier and install records.
void setDamagedFileAside(const QString &path) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (QFile::rename(path, aside) || (QFile::copy(path, aside) && QFile::remove(path))) {
        qCWarning(lcPlatform) << "the preferences file" << path << "could not be read; it was kept as" << aside;
    } else {
        qCWarning(lcPlatform) << "the preferences file" << path << "could not be read nor set aside";
    }
}

// The file holds every key exactly as the program names it; QSettings sees them escaped.
bool readJson(QIODevice &device, QSettings::SettingsMap &map) {
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty()) {
        return true;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (const auto *file = qobject_cast<const QFile *>(&device)) {
            setDamagedFileAside(file->fileName());
        }
        return false;
    }
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        map.insert(escapedKey(it.key()), it.value().toVariant());
    }
    return true;
}

bool writeJson(QIODevice &device, const QSettings::SettingsMap &map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it) {
        object.insert(unescapedKey(it.key()), QJsonValue::fromVariant(it.value()));
    }
    return device.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) >= 0;
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson, Qt::CaseSensitive);
    return format;
}

// QSettings syncs by itself on an update request posted after a write, and a sync takes in
// what other programs wrote to the file: the watch counts it as a change.
class SyncWatch final : public QObject {
public:
    explicit SyncWatch(std::function<void()> onSync) : m_onSync(std::move(onSync)) {}
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::UpdateRequest) {
            m_onSync();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onSync;
};

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

Preferences::Preferences(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings)), m_syncWatch(std::make_unique<SyncWatch>([this] { changed(); })) {
    m_syncWatch->moveToThread(m_settings->thread());
    m_settings->installEventFilter(m_syncWatch.get());
}

bool Preferences::contains(const QString &key) const { return m_settings->contains(escapedKey(key)); }

QVariant Preferences::value(const QString &key) const { return m_settings->value(escapedKey(key)); }

void Preferences::setValue(const QString &key, const QVariant &value) {
    m_settings->setValue(escapedKey(key), value);
    changed();
}

void Preferences::remove(const QString &key) {
    m_settings->remove(escapedKey(key));
    changed();
}

QStringList Preferences::keysStartingWith(const QString &prefix) const {
    QStringList keys;
    for (const QString &stored : m_settings->allKeys()) {
        QString key = unescapedKey(stored);
        if (key.startsWith(prefix)) {
            keys.append(std::move(key));
        }
    }
    return keys;
}

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

void Preferences::sync() {
    m_settings->sync();
    changed();
}

QString Preferences::fileName() const { return m_settings->fileName(); }

} // namespace quillon
