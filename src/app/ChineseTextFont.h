#pragma once
// The family the system sets Simplified Chinese text in. Every text of the window is
// Chinese: asked for the general family first, Qt would load it (and its bold face) only to
// find it lacks the characters and search its fallbacks for one that has them, before the
// first window could be laid out.

#include <QString>

#include <optional>

namespace quillon {

/// The family the system's font configuration picks for sans-serif text in Simplified
/// Chinese, when it has one that covers the language; nothing where it does not say (no
/// font configuration, or no such font installed).
std::optional<QString> systemFamilyForChineseText();

} // namespace quillon
