#pragma once
// The studio's Motion templates install small FxPlug runtime applications, each carrying an
// FxPlug extension the system must have registered. When those registrations are lost (a
// system reinstall, a Final Cut Pro upgrade), the repair finds every runtime in the known
// places, checks its code signature, asks running copies to quit, and registers the
// application with Launch Services and its extension with PlugInKit again.
//
// Everything here blocks (child processes, a pause) and touches no model state: the model
// runs `perform` off the main thread and shows the report's message.

#include "records/ModelEnvironment.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace quillon {

struct MotionRuntimeCandidate final {
    QString appURL;           ///< the runtime application bundle
    QString pluginURL;        ///< its FxPlug extension inside Contents/PlugIns
    QString bundleIdentifier; ///< the application's identifier

    friend bool operator==(const MotionRuntimeCandidate &, const MotionRuntimeCandidate &) = default;
};

struct MotionRuntimeRepairReport final {
    int found = 0;    ///< runtimes discovered
    int repaired = 0; ///< runtimes whose two registrations both succeeded
    int failed = 0;   ///< runtimes rejected by the signature check or not registered

    /// The one message the customer sees.
    QString customerMessage() const;

    friend bool operator==(const MotionRuntimeRepairReport &, const MotionRuntimeRepairReport &) = default;
};

namespace MotionRuntimeRepair {

/// What a repair works with; copied into the background task, safe to use off the main thread.
struct Context final {
    SystemPaths paths;
    SystemTools tools;
    /// Asked to quit running runtimes (from the background thread); may be null.
    std::shared_ptr<Workspace> workspace;
    std::chrono::milliseconds quitPause{400};

    static Context of(const ModelEnvironment &environment);
};

/// What one tool run gave back.
struct ToolResult final {
    int status = 0; ///< exit status; -1 when the tool is missing, cannot start or was killed
    QString error;  ///< its standard error (UTF-8, invalid bytes replaced)
};

/// Discovers, checks, stops and registers every runtime. Blocks: never on the main thread.
MotionRuntimeRepairReport perform(const Context &context);

/// The runtimes in the user's and (optionally) the system's .MotionSupport trees and
/// (optionally) the legacy FrontBoard folder, one per application path.
QList<MotionRuntimeCandidate> discover(const SystemPaths &paths, bool includeSystemRoot, bool includeLegacyRoot);

/// Whether the extension at `pluginURL` declares itself an FxPlug runtime and has its executable.
bool isFxPlugRuntime(const QString &pluginURL);

/// Whether codesign accepts the candidate (legacy runtimes get the relaxed check).
bool signatureIsAcceptable(const MotionRuntimeCandidate &candidate, const Context &context);

/// Whether codesign's error text is exactly one line ending in
/// ": unsealed contents present in the bundle root".
bool isKnownLegacyVerificationWarning(const QString &errorText);

/// Runs `tool` with `arguments` (standard output discarded) and waits for it to end.
ToolResult execute(const QString &tool, const QStringList &arguments, const QString &systemRoot);

} // namespace MotionRuntimeRepair

} // namespace quillon
