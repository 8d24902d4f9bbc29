#pragma once
// Small file helpers the runs share.

#include "platform/Failure.h"

#include <QString>

namespace quillon {

/// A fresh UUID in upper case without braces: names a run's files and folders, and this
/// device.
QString newUuid();

/// The failure of a folder that could not be made: "无法创建文件夹“…”。".
PlatformError folderNotCreated(const QString &folder);

/// Creates `folder` with its parents; throws PlatformError ("无法创建文件夹“…”。") when the
/// platform refuses.
void makeFolder(const QString &folder);

} // namespace quillon
