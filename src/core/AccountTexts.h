#pragma once
// Texts that more than one part of the account shows.

#include <QString>

namespace quillon {

/// Asked of a user who is not signed in.
inline QString signInFirstText() { return QStringLiteral("请先使用微信扫码登录。"); }

/// The name shown for an account whose reply names none.
inline QString defaultUserNameText() { return QStringLiteral("Vrel 用户"); }

} // namespace quillon
