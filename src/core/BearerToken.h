#pragma once
// What a bearer token may hold. A token goes into an "Authorization" header line, so one
// with a line break or any other control character could add headers of its own; the
// service's tokens are printable ASCII, and nothing else is accepted from a reply, read
// back from the token file or sent.

#include <QStringView>

namespace quillon {

/// Printable ASCII without spaces only (U+0021 to U+007E); the empty token is usable.
bool isUsableBearerToken(QStringView token);

} // namespace quillon
