#pragma once
// The general pasteboard (clipboard), plain text only.

#include <QString>

namespace quillon {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    /// Replaces the pasteboard's contents with `text` as a plain string.
    virtual void setString(const QString &text) = 0;
    /// The plain text on the pasteboard (empty when there is none).
    virtual QString string() const = 0;
};

} // namespace quillon
