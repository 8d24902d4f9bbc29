#pragma once
// The fixed rules of the QR sign-in poll.

#include <QtGlobal>

namespace quillon {

/// Number of status polls for a code that lives `expiresIn` seconds: the lifetime
/// clamped to 30...900, one poll per 2 seconds.
qint64 wechatLoginPollCount(qint64 expiresIn);

} // namespace quillon
