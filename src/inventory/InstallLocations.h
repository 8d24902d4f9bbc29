#pragma once
// Where installed plug-ins show up inside Final Cut Pro.

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace quillon {

/// The four browser categories of Final Cut Pro, in display and sort order.
enum class FCPLocation { titles, generators, effects, transitions };

/// One plug-in folder inside one browser category.
struct InstallLocationEntry final {
    FCPLocation category = FCPLocation::titles;
    QString folder; ///< the folder name with every ".localized" removed

    friend bool operator==(const InstallLocationEntry &, const InstallLocationEntry &) = default;
};

/// The outcome of an install or a browse, shown by the location guide.
struct InstallLocationSummary final {
    QList<InstallLocationEntry> entries;
    QStringList succeeded;
    QStringList failures;
    QStringList pending;
    bool isBatch = false;
    bool isBrowsing = false;

    friend bool operator==(const InstallLocationSummary &, const InstallLocationSummary &) = default;
};

} // namespace quillon
