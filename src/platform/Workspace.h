#pragma once
// What the program asks of the desktop: open web pages and files, show files in the
// file manager, and look at running applications by bundle identifier.

#include <QString>
#include <QStringList>
#include <QUrl>

namespace quillon {

class Workspace {
public:
    virtual ~Workspace() = default;

    /// Opens `url` in the default browser; false when nothing could open it.
    virtual bool openURL(const QUrl &url) = 0;
    /// Opens the file with its default application (a package opens in the Installer app).
    virtual bool openFile(const QString &path) = 0;
    /// Shows the given files selected in the file manager.
    virtual void revealInFileManager(const QStringList &paths) = 0;
    /// How many running applications have this bundle identifier.
    virtual int runningApplicationCount(const QString &bundleIdentifier) = 0;
    /// Politely asks every running application with this bundle identifier to quit; waits for
    /// nothing. Called from a background thread too (the Motion repair).
    virtual void terminateApplications(const QString &bundleIdentifier) = 0;
};

} // namespace quillon
