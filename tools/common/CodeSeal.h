#pragma once
// The code seal of the stand-in codesign: a bundle is "signed" when it carries
//   Contents/_CodeSignature/CodeResources
// an XML property list { "files": { relative path: digest } } that names every file and
// symbolic link below Contents (nested bundles included, the seal itself excepted) by its
// path relative to the bundle, with the lower-case hex SHA-256 of a file's bytes, or
// "link:" followed by a link's target. Anything directly in the bundle root beside
// Contents cannot be sealed.
//
// The writer is shared by the test support and the stand-in services that deliver
// bundles; the verifier is the stand-in codesign's.

#include <QString>
#include <QStringList>

namespace standin {

/// The seal's place inside a bundle.
inline constexpr char sealRelativePath[] = "Contents/_CodeSignature/CodeResources";

/// Seals the bundle at `bundlePath` as it is now, replacing an older seal.
bool writeSeal(const QString &bundlePath, QString &error);

struct SealVerdict {
    enum class Kind {
        valid,
        missing,           ///< no bundle at the path
        notSigned,         ///< no seal
        resourcesInvalid,  ///< a sealed file is modified or missing, or an unsealed one was added
        unsealedRoot,      ///< something sits in the bundle root beside Contents
        linkOutside,       ///< (strict) a sealed link leads out of the bundle
    };
    Kind kind = Kind::valid;
    /// Lines that explain the verdict ("file modified: …"), sorted.
    QStringList details;
    /// The nested bundle that failed, when the verdict is about one.
    QString subcomponent;

    bool isValid() const { return kind == Kind::valid; }
    /// The tool's message for the verdict, as it follows "<path>: ".
    QString message() const;
};

struct VerifyOptions {
    bool deep = false;   ///< also verify every bundle in Contents/PlugIns, recursively
    bool strict = false; ///< also refuse sealed links that lead out of the bundle
};

SealVerdict verifySeal(const QString &bundlePath, VerifyOptions options);

} // namespace standin
