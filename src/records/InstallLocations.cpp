#include "records/InstallLocations.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <vector>

namespace quillon {

QString rawValue(FCPLocation location) {
    switch (location) {
    case FCPLocation::titles:
        return QStringLiteral("字幕");
    case FCPLocation::generators:
        return QStringLiteral("发生器");
    case FCPLocation::effects:
        return QStringLiteral("效果");
    case FCPLocation::transitions:
        return QStringLiteral("转场");
    }
    return QString();
}

std::optional<FCPLocation> fcpLocationFromRawValue(const QString &raw) {
    for (FCPLocation location : fcpLocationAllCases) {
        if (rawValue(location) == raw) {
            return location;
        }
    }
    return std::nullopt;
}

int sortIndex(FCPLocation location) {
    const auto it = std::find(fcpLocationAllCases.begin(), fcpLocationAllCases.end(), location);
    return static_cast<int>(it - fcpLocationAllCases.begin());
}

// ---- InstallLocationEntry ----

QString InstallLocationEntry::id() const { return rawValue(category) + QStringLiteral("::") + folder; }

QJsonObject InstallLocationEntry::toJson() const {
    return QJsonObject{{QStringLiteral("category"), rawValue(category)}, {QStringLiteral("folder"), folder}};
}

std::optional<InstallLocationEntry> InstallLocationEntry::fromJson(const QJsonObject &object) {
    const QJsonValue category = object.value(QStringLiteral("category"));
    const QJsonValue folder = object.value(QStringLiteral("folder"));
    if (!category.isString() || !folder.isString()) {
        return std::nullopt;
    }
    const auto location = fcpLocationFromRawValue(category.toString());
    if (!location) {
        return std::nullopt;
    }
    return InstallLocationEntry{*location, folder.toString()};
}

size_t qHash(const InstallLocationEntry &entry, size_t seed) noexcept {
    return qHashMulti(seed, int(entry.category), entry.folder);
}

// ---- InstallLocationSummary ----

namespace {

// The old entries and the new ones without duplicates, first occurrences kept, sorted
// stably by category in declared order, then by folder name the way a file browser orders
// names. Equal-ranking entries keep the order they arrived in, so sorting once after many
// additions gives what sorting after each one gives.
QList<InstallLocationEntry> mergeEntries(const QList<InstallLocationEntry> &old, const QList<InstallLocationEntry> &added) {
    QList<InstallLocationEntry> merged;
    QSet<InstallLocationEntry> seen;
    merged.reserve(old.size() + added.size());
    seen.reserve(old.size() + added.size());
    for (const QList<InstallLocationEntry> *list : {&old, &added}) {
        for (const InstallLocationEntry &entry : *list) {
            if (!seen.contains(entry)) {
                seen.insert(entry);
                merged.append(entry);
            }
        }
    }

    // The C locale would turn the collator into a plain code-unit comparison without
    // numeric runs, so it falls back to a neutral locale.
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    // One collation key per entry, made once: comparing keys orders exactly as comparing
    // the names does, without running the collation again on every comparison.
    struct Keyed {
        int category;
        QCollatorSortKey key;
        qsizetype at;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(merged.size()));
    for (qsizetype i = 0; i < merged.size(); ++i) {
        keyed.push_back(Keyed{sortIndex(merged.at(i).category), collator.sortKey(merged.at(i).folder), i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.category != b.category) {
            return a.category < b.category;
        }
        return a.key.compare(b.key) < 0;
    });
    QList<InstallLocationEntry> sorted;
    sorted.reserve(merged.size());
    for (const Keyed &each : keyed) {
        sorted.append(std::move(merged[each.at]));
    }
    merged = std::move(sorted);
    return merged;
}

} // namespace

void InstallLocationSummary::record(const QString &name, const QList<InstallLocationEntry> &newEntries) {
    if (!succeeded.contains(name)) {
        succeeded.append(name);
    }
    entries = mergeEntries(entries, newEntries);
}

void InstallLocationSummary::recordAll(const QList<std::pair<QString, QList<InstallLocationEntry>>> &items) {
    QSet<QString> names;
    names.reserve(succeeded.size() + items.size());
    for (const QString &name : std::as_const(succeeded)) {
        names.insert(name);
    }
    QList<InstallLocationEntry> added;
    qsizetype count = 0;
    for (const auto &item : items) {
        count += item.second.size();
    }
    added.reserve(count);
    for (const auto &[name, itemEntries] : items) {
        if (!names.contains(name)) {
            names.insert(name);
            succeeded.append(name);
        }
        added.append(itemEntries);
    }
    entries = mergeEntries(entries, added);
}

QString InstallLocationSummary::resultTitle() const {
    if (isBrowsing) {
        return QStringLiteral("插件位置");
    }
    if (succeeded.isEmpty()) {
        if (!failures.isEmpty()) {
            return QStringLiteral("未能安装");
        }
        if (!pending.isEmpty()) {
            return QStringLiteral("请完成系统安装");
        }
        return QStringLiteral("请查看安装进度");
    }
    if (!failures.isEmpty() || !pending.isEmpty()) {
        return QStringLiteral("部分插件已安装");
    }
    return QStringLiteral("安装成功");
}

QList<FCPLocation> InstallLocationSummary::categories() const {
    QList<FCPLocation> result;
    for (FCPLocation location : fcpLocationAllCases) {
        const bool present = std::any_of(entries.begin(), entries.end(),
                                         [location](const InstallLocationEntry &e) { return e.category == location; });
        if (present) {
            result.append(location);
        }
    }
    return result;
}

InstallLocationSummary InstallLocationSummary::preview() {
    struct Sample {
        FCPLocation category;
        QStringList folders;
    };
    const QList<Sample> samples{
        {FCPLocation::titles,
         {QStringLiteral("Vrel 电影字幕"), QStringLiteral("Vrel 综艺花字"), QStringLiteral("Vrel 简约标题"),
          QStringLiteral("Vrel 手写字幕"), QStringLiteral("Vrel 新闻字幕条"), QStringLiteral("Vrel 动态标题")}},
        {FCPLocation::generators, {QStringLiteral("Vrel 渐变背景"), QStringLiteral("Vrel 光斑背景")}},
        {FCPLocation::effects,
         {QStringLiteral("Vrel 电影调色"), QStringLiteral("Vrel 胶片颗粒"), QStringLiteral("Vrel 光晕特效")}},
        {FCPLocation::transitions, {QStringLiteral("Vrel 无缝转场")}},
    };

    InstallLocationSummary summary;
    for (const Sample &sample : samples) {
        for (const QString &folder : sample.folders) {
            summary.record(folder, {InstallLocationEntry{sample.category, folder}});
        }
    }
    summary.isBatch = true;
    summary.isBrowsing = false;
    return summary;
}

namespace {

QJsonArray textArray(const QStringList &texts) {
    QJsonArray array;
    for (const QString &text : texts) {
        array.append(text);
    }
    return array;
}

// An array whose every element is text; nothing otherwise.
std::optional<QStringList> readTextArray(const QJsonValue &value) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList result;
    const QJsonArray array = value.toArray();
    result.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isString()) {
            return std::nullopt;
        }
        result.append(element.toString());
    }
    return result;
}

} // namespace

QJsonObject InstallLocationSummary::toJson() const {
    QJsonArray entryArray;
    for (const InstallLocationEntry &entry : entries) {
        entryArray.append(entry.toJson());
    }
    return QJsonObject{
        {QStringLiteral("entries"), entryArray},
        {QStringLiteral("succeeded"), textArray(succeeded)},
        {QStringLiteral("failures"), textArray(failures)},
        {QStringLiteral("pending"), textArray(pending)},
        {QStringLiteral("isBatch"), isBatch},
        {QStringLiteral("isBrowsing"), isBrowsing},
    };
}

std::optional<InstallLocationSummary> InstallLocationSummary::fromJson(const QJsonObject &object) {
    const QJsonValue entryValue = object.value(QStringLiteral("entries"));
    const QJsonValue batchValue = object.value(QStringLiteral("isBatch"));
    const QJsonValue browsingValue = object.value(QStringLiteral("isBrowsing"));
    if (!entryValue.isArray() || !batchValue.isBool() || !browsingValue.isBool()) {
        return std::nullopt;
    }

    InstallLocationSummary summary;
    for (const QJsonValue &element : entryValue.toArray()) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        const auto entry = InstallLocationEntry::fromJson(element.toObject());
        if (!entry) {
            return std::nullopt;
        }
        summary.entries.append(*entry);
    }

    const auto succeeded = readTextArray(object.value(QStringLiteral("succeeded")));
    const auto failures = readTextArray(object.value(QStringLiteral("failures")));
    const auto pending = readTextArray(object.value(QStringLiteral("pending")));
    if (!succeeded || !failures || !pending) {
        return std::nullopt;
    }
    summary.succeeded = *succeeded;
    summary.failures = *failures;
    summary.pending = *pending;
    summary.isBatch = batchValue.toBool();
    summary.isBrowsing = browsingValue.toBool();
    return summary;
}

} // namespace quillon
