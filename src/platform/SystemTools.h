#pragma once
// Paths of the system tools the program runs as child processes. On macOS they are the
// real tools; elsewhere the project's own stand-ins built under tools/ take their place.

#include <QProcessEnvironment>
#include <QString>

namespace quillon {

struct SystemTools final {
    QString osascript;
    QString installer;
    QString codesign;
    QString lsregister;
    QString pluginkit;
    QString rm;

    /// The real macOS tools.
    static SystemTools macOS();
    /// The stand-ins in `folder` (rm stays the real one).
    static SystemTools standIns(const QString &folder);
    /// The tools of this platform: the macOS ones on macOS, the stand-ins built with the project elsewhere.
    static SystemTools current();
    /// Where the stand-ins of this copy are (tools and applications): beside the executable in
    /// an installed copy, the build tree's tools folder otherwise.
    static QString standInFolder();
};

/// The environment a system tool runs with: this process's, plus the sandbox root variable
/// when `systemRoot` is a folder other than "/" (the stand-ins read it; the real tools ignore it).
QProcessEnvironment toolProcessEnvironment(const QString &systemRoot);

} // namespace quillon
