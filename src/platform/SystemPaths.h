#pragma once
// The fixed locations the program reads and writes. Injected into the model so that
// tests run in temporary folders and never touch the real ones.

#include <QString>

namespace quillon {

struct SystemPaths final {
    /// The folder that stands for "/" (the system-wide template tree lives under it).
    QString systemRoot;
    /// The user's home folder.
    QString home;
    /// The user's Application Support folder (empty when the platform reports none).
    QString applicationSupport;
    /// The user's Downloads folder.
    QString downloads;
    /// The temporary folder.
    QString temporary;

    /// Environment variable that moves "/" for trial runs: the stand-in tools read it too.
    static constexpr const char *sandboxRootVariable = "QUILLON_SANDBOX_ROOT";

    /// The real locations of this user on this machine ("/" moved by the sandbox variable).
    static SystemPaths current();

    /// `absolutePath` (which starts with "/") as seen under `systemRoot`.
    QString underSystemRoot(const QString &absolutePath) const;
};

} // namespace quillon
