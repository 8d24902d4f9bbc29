#pragma once
// Putting a finished download in a folder the user owns without ever replacing what is
// there: a second file of the same name is saved as "name (2).ext", as browsers do.

#include <QString>

namespace quillon {

/// `name` for its `copy`-th file (2, 3, …): "Pack (2).zip"; "Pack (2).tar.gz" for a
/// compressed tar archive; "README (2)" for a name without extension.
QString numberedFileName(const QString &name, int copy);

/// Moves the file `from` to `folder`/`name` or, when that name is taken by anything (a
/// file, a folder, a link), to the first free numbered name. The name is taken by the move
/// itself, so two saves at the same moment never take the same one. Returns the path the
/// file was saved at; throws DownloadFailure, leaving `from` where it was.
QString saveWithoutReplacing(const QString &from, const QString &folder, const QString &name);

} // namespace quillon
