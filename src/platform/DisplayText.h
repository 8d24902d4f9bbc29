#pragma once
// Text from the account service or from disk, made fit for a label, an alert or the
// pasteboard. A hostile text must not hide or rearrange what the user reads: no control
// characters (a NUL, a bell, a terminal colour sequence, a line break in a name) and no
// bidirectional controls (U+202E turns "gpj.exe" into what reads as "exe.jpg"). The
// records keep what was sent; only what is shown and copied passes through here.

#include <QString>

namespace quillon {

/// A single-line field (a name, a code, a password, a message): every control character,
/// every bidirectional control and the line and paragraph separators U+2028 and U+2029
/// removed; everything else kept as it is.
QString displayLine(const QString &text);

/// A multi-line text (the note of a delivery): every line break (CR LF, CR, LF, VT, FF,
/// NEL, U+2028, U+2029) becomes one line feed; every other control character and every
/// bidirectional control is removed.
QString displayNote(const QString &text);

} // namespace quillon
