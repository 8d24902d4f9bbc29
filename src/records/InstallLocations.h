#pragma once
// Where installed plug-ins show up inside Final Cut Pro.

#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <utility>

namespace quillon {

/// The four browser categories of Final Cut Pro, in display and sort order.
enum class FCPLocation { titles, generators, effects, transitions };

/// Every category in declared order (titles, generators, effects, transitions).
inline constexpr std::array<FCPLocation, 4> fcpLocationAllCases{
    FCPLocation::titles, FCPLocation::generators, FCPLocation::effects, FCPLocation::transitions};

/// The category word: "字幕", "发生器", "效果" or "转场".
QString rawValue(FCPLocation location);

/// The category of exactly one of the four category words; nothing for any other text.
std::optional<FCPLocation> fcpLocationFromRawValue(const QString &raw);

/// Position in declared order (0 for titles ... 3 for transitions).
int sortIndex(FCPLocation location);

/// One plug-in folder inside one browser category.
struct InstallLocationEntry final {
    FCPLocation category = FCPLocation::titles;
    QString folder; ///< the folder name with every ".localized" removed

    /// The category word + "::" + folder.
    QString id() const;

    /// {"category": category word, "folder": folder}.
    QJsonObject toJson() const;
    /// Both keys required with text values and a known category word; nothing otherwise.
    static std::optional<InstallLocationEntry> fromJson(const QJsonObject &object);

    friend bool operator==(const InstallLocationEntry &, const InstallLocationEntry &) = default;
};

size_t qHash(const InstallLocationEntry &entry, size_t seed = 0) noexcept;

/// The outcome of an install or a browse, shown by the location guide.
struct InstallLocationSummary final {
    QList<InstallLocationEntry> entries;
    QStringList succeeded;
    QStringList failures;
    QStringList pending;
    bool isBatch = false;
    bool isBrowsing = false;

    /// Adds `name` to `succeeded` (once) and merges `newEntries` into `entries`: no
    /// duplicates, sorted by category in declared order, then by folder name the way a
    /// file browser orders names (case-insensitive, runs of digits by value).
    void record(const QString &name, const QList<InstallLocationEntry> &newEntries);

    /// The same as calling `record` for each item in order, with one sort at the end.
    void recordAll(const QList<std::pair<QString, QList<InstallLocationEntry>>> &items);

    /// The title of the location guide for this outcome.
    QString resultTitle() const;

    /// The categories, in declared order, that hold at least one entry.
    QList<FCPLocation> categories() const;

    /// The sample summary of the guide preview: twelve brand folders over the four categories.
    static InstallLocationSummary preview();

    /// {"entries", "succeeded", "failures", "pending", "isBatch", "isBrowsing"}.
    QJsonObject toJson() const;
    /// Every key required with the right type; nothing when any is missing or malformed.
    static std::optional<InstallLocationSummary> fromJson(const QJsonObject &object);

    friend bool operator==(const InstallLocationSummary &, const InstallLocationSummary &) = default;
};

/// A product just installed, as the location records name it.
struct InstalledProductName final {
    QString name;
    std::optional<QString> productKey;
};

} // namespace quillon
