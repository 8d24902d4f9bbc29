#pragma once
// The queue that installs one or more entitled products as one user action.

#include <QList>
#include <QString>

#include <optional>

namespace quillon {

/// What one item of the queue may fetch.
struct ActivationInstallAuthorization final {
    std::optional<QString> productKey;
    QString productName;
    QString productType;
    bool accountMode = false;

    friend bool operator==(const ActivationInstallAuthorization &, const ActivationInstallAuthorization &) = default;
};

class ActivationInstallQueue final {
    Q_DISABLE_COPY_MOVE(ActivationInstallQueue)
public:
    struct Item {
        ActivationInstallAuthorization authorization;
        bool completed = false;
        QString result;
    };

    ActivationInstallQueue() = default;

    const QList<Item> &items() const { return m_items; }
    bool running() const { return m_running; }

private:
    QList<Item> m_items;
    bool m_running = false;
};

} // namespace quillon
