#pragma once
// Texts and names that more than one part of the installs shows.

#include <QString>

namespace quillon {

/// A package fetched by the install queue, waiting for the one administrator prompt.
inline QString waitingForSharedInstallText() { return QStringLiteral("已下载，等待统一安装"); }

/// The folder in Downloads that resources are saved to.
inline QString resourceFolderName() { return QStringLiteral("Vrel 素材"); }

} // namespace quillon
