#pragma once
// Writes Motion runtime bundles as the studio's templates install them: an application
// with the executable ZelmFxPlugin and an FxPlug extension in Contents/PlugIns, sealed
// (or not) with the stand-in code seal: for the tests of the repair and of the stand-in
// tools, and for the packages of the stand-in studio service that carry a runtime.

#include <QString>

namespace quillon::packaging {

/// The state of a bundle's code seal.
enum class Seal {
    valid,        ///< sealed as written
    none,         ///< never sealed
    tampered,     ///< sealed, then a sealed file changed
    unsealedRoot, ///< sealed, then a file put in the bundle root beside Contents
};

struct MotionRuntimeSpec {
    /// "ZelmPlugin" makes a legacy runtime.
    QString identifier = QStringLiteral("local.motiontemplate.runtime.A1B2C3D4E5F6");
    Seal application = Seal::valid;
    Seal extension = Seal::valid;
    /// The extension declares the FxPlug protocol.
    bool fxPlug = true;
};

/// Writes the runtime at `appPath` (its folders are created); returns `appPath`.
/// Throws std::runtime_error when a file cannot be written.
QString writeMotionRuntime(const QString &appPath, const MotionRuntimeSpec &spec = {});

} // namespace quillon::packaging
