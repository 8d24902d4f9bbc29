#pragma once
// Modal alerts: a message, an informative text and buttons, answered by the user.

#include <QString>
#include <QStringList>

namespace quillon {

struct AlertRequest final {
    enum class Style { Informational, Warning, Critical };

    Style style = Style::Informational;
    QString messageText;
    QString informativeText;
    QStringList buttons; ///< in order; the first is the default. Empty means one "好的".

    friend bool operator==(const AlertRequest &, const AlertRequest &) = default;
};

class Alerts {
public:
    virtual ~Alerts() = default;

    /// Shows the alert modally and returns the index of the button the user chose
    /// (-1 when the alert was closed without a button).
    virtual int runModal(const AlertRequest &request) = 0;
};

} // namespace quillon
