#pragma once
// The pieces of an HTTP/1.1 response head, for the clients that read the protocol
// themselves (FramedReply, the ranged download's connections): the status line, the
// header lines and the body's announced length.

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

namespace quillon::http {

using HeaderFields = QList<QPair<QByteArray, QByteArray>>;

struct StatusLine {
    int code = 0;
    int minorVersion = 1; ///< HTTP/1.x
    QByteArray reason;
};

/// "HTTP/1.1 206 Partial Content": the version, three digits, an optional reason.
std::optional<StatusLine> parseStatusLine(const QByteArray &line);

/// Adds one header line (without its line end) to `fields`; a line that starts with a
/// blank continues the last field (an old folded continuation). False for a malformed line.
bool addFieldLine(const QByteArray &line, HeaderFields &fields);

/// Repeated fields as one, their values joined with ", " as the protocol allows.
HeaderFields joinRepeatedFields(const HeaderFields &fields);

/// A "Content-Length" value: one decimal length, or repeated ones that agree ("12, 12");
/// nullopt for anything else ("12, 13", a sign, other characters).
std::optional<qint64> parseContentLength(const QByteArray &value);

/// Whether a name or value of our own request stays on its line.
inline bool safeFieldPart(const QByteArray &text) { return !text.contains('\r') && !text.contains('\n'); }

} // namespace quillon::http
