#pragma once
// The user's preferences (the standard user defaults on macOS). Values keep their type:
// on macOS through the native property-list store, elsewhere through a JSON file, so
// "a stored value of the wrong type reads as missing" means the same on both. Every key
// is stored as given and apart from every other ("/" has no meaning in it). A file that
// cannot be read is set aside (same folder, ".damaged-" and the time) and a new one begun.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <optional>

namespace quillon {

class Preferences final {
    Q_DISABLE_COPY_MOVE(Preferences)
public:
    /// The user's own preferences of this application.
    static std::shared_ptr<Preferences> standard();
    /// Preferences kept in one JSON file (tests, trial runs).
    static std::shared_ptr<Preferences> inFile(const QString &path);

    explicit Preferences(std::unique_ptr<QSettings> settings);

    bool contains(const QString &key) const;
    /// The stored value, or an invalid QVariant when the key is missing.
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    /// Every stored key that begins with `prefix`, as the program named it.
    QStringList keysStartingWith(const QString &prefix) const;

    // Typed reads: nullopt when the key is missing or holds another type.
    std::optional<QString> string(const QString &key) const;
    std::optional<qint64> integer(const QString &key) const;
    std::optional<bool> boolean(const QString &key) const;
    /// A list whose every element is a string.
    std::optional<QStringList> stringArray(const QString &key) const;
    /// A dictionary whose every value is a string.
    std::optional<QVariantMap> stringDictionary(const QString &key) const;

    /// Writes pending changes to storage.
    void sync();
    QString fileName() const;

    /// Changes whenever what the store holds may have changed: a write, a removal, a sync
    /// (which also takes in what other programs wrote). Readers that keep what they read
    /// read again when it has changed.
    quint64 generation() const { return m_generation.load(std::memory_order_relaxed); }

private:
    void changed() { m_generation.fetch_add(1, std::memory_order_relaxed); }

    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<QObject> m_syncWatch;
    std::atomic<quint64> m_generation{0};
};

} // namespace quillon
