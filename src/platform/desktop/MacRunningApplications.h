#pragma once
// The applications running in this user's session, found by bundle identifier through
// AppKit (macOS only; MacRunningApplications.mm). Safe to call from any thread: the Motion
// repair asks runtimes to quit from a pool thread.

#include <QString>

namespace quillon::mac {

/// How many running applications have `bundleIdentifier`; those that have quit already are not counted.
int runningApplicationCount(const QString &bundleIdentifier);

/// Asks every running application with `bundleIdentifier` to quit, as its Quit menu item
/// would; waits for none of them.
void terminateApplications(const QString &bundleIdentifier);

} // namespace quillon::mac
