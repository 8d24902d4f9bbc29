#pragma once
// The road of one product from the member library to the Mac: the download
// authorisation, then a cloud-drive delivery, a resource saved to Downloads, a
// protected template package handed to the Installer app, or a package installed with
// administrator rights and recorded. The run itself is `Installs::performDownloadAndInstall`.

#include <QString>

#include <optional>

namespace quillon {

/// A file name the service sent, reduced to its last path component ("/" and "\" both
/// separate). Nothing when what remains cannot safely name a file of its own: empty, "."
/// or "..", only dots and blanks, or holding a control character (NUL included).
std::optional<QString> safeFileName(const QString &name);

/// `folder`/`name` for a `name` that passed safeFileName, after checking that the path,
/// resolved, lies directly in the existing `folder` (links included); throws
/// InstallError::invalidPackage otherwise.
QString destinationInside(const QString &folder, const QString &name);

} // namespace quillon
