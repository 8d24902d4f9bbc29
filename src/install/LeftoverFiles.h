#pragma once
// What earlier runs of the program left behind when they ended without cleaning up (a
// crash, a forced quit, a power cut): hidden part files of unfinished downloads, batch
// staging folders and the batch folders of packages once handed to the Installer app.
// Only the program's own places are looked at, only names the program makes are touched,
// only entries this user owns are removed, and nothing any running copy of the program
// holds (RunLock.h). No link is ever followed: a place that is a link is left alone, and a
// link inside a batch folder goes itself, never what it points to.

#include <QString>
#include <QStringList>

namespace quillon {

struct LeftoverPlaces final {
    /// "Vrel 素材" in Downloads: hidden part files of resource downloads.
    QString resources;
    /// The managed installer folder: hidden part files and batch folders.
    QString managed;
    /// The temporary folder: batch staging folders.
    QString temporary;
    /// The Installer app may still be showing a package of a managed batch folder.
    bool keepManagedBatchFolders = false;
};

/// Removes the leftovers found in `places`; returns what it removed (files and folders).
/// Blocks on the disk: the model runs it off the main thread.
QStringList removeLeftoversOfEarlierRuns(const LeftoverPlaces &places);

} // namespace quillon
