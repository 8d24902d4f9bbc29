#pragma once
// Texts that more than one install run shows.

#include <QString>

namespace quillon {

/// A package fetched by the install queue, waiting for the one administrator prompt.
inline QString waitingForSharedInstallText() { return QStringLiteral("已下载，等待统一安装"); }

} // namespace quillon
