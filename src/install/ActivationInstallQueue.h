#pragma once
// The queue that installs one or more entitled products as one user action: each item
// is prepared in turn (fetched, and finished at once or handed back as a downloaded
// package), then every handed-back package is installed after one administrator prompt.
// No failure leaves the queue: a failed item keeps a result line and stays pending, so a
// later run tries it again.

#include "platform/Failure.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
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

/// What preparing one item gave: the item is finished, or a downloaded package waits for
/// the shared install together with the step that records it once it has installed.
class ActivationInstallDelivery final {
public:
    static ActivationInstallDelivery completed(QString message) {
        ActivationInstallDelivery d;
        d.m_message = std::move(message);
        return d;
    }
    static ActivationInstallDelivery package(QString path, std::function<QString()> commit) {
        ActivationInstallDelivery d;
        d.m_packagePath = std::move(path);
        d.m_commit = std::move(commit);
        return d;
    }

    bool isPackage() const { return static_cast<bool>(m_commit); }
    const QString &message() const { return m_message; }
    const QString &packagePath() const { return m_packagePath; }
    const std::function<QString()> &commit() const { return m_commit; }

private:
    ActivationInstallDelivery() = default;
    QString m_message;
    QString m_packagePath;
    std::function<QString()> m_commit;
};

/// A prepare step that failed; its message becomes the item's result.
class ActivationInstallFailure final : public UserFacingError {
public:
    explicit ActivationInstallFailure(QString message) : m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    QString description() const override { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

class ActivationInstallQueue final {
    Q_DISABLE_COPY_MOVE(ActivationInstallQueue)
public:
    struct Item {
        ActivationInstallAuthorization authorization;
        bool completed = false;
        QString result;
    };

    /// Fetches one item. Throwing TaskCancelled stops the whole run (its owner is gone).
    using Prepare = std::function<QCoro::Task<ActivationInstallDelivery>(ActivationInstallAuthorization)>;
    /// Installs the packages; the positions in the list of those that installed.
    using Install = std::function<QCoro::Task<QSet<int>>(QStringList)>;
    using InstallationFailed = std::function<void(const ActivationInstallAuthorization &, const QString &)>;

    ActivationInstallQueue() = default;

    const QList<Item> &items() const { return m_state->items; }
    bool running() const { return m_state->running; }
    bool hasPendingItems() const;
    /// The non-empty result lines in item order, one per line.
    QString summary() const;

    /// The queue becomes this one item; nothing happens while a run is in progress.
    void reset(const ActivationInstallAuthorization &authorization);
    /// Adds one more item after the others; nothing happens while a run is in progress.
    void append(const ActivationInstallAuthorization &authorization);
    /// Marks the item done with "name：message" as its result.
    void complete(qsizetype index, const QString &message);
    /// Sets the item's result to "name：message"; it stays pending.
    void fail(qsizetype index, const QString &message);

    /// Prepares every pending item, then installs the collected packages after one prompt,
    /// records the ones that installed and fails the rest; every collected package file is
    /// deleted at the end. Returns at once while another run is in progress. Never throws,
    /// and never touches this queue object after it has started: the run keeps the queue's
    /// data alive itself, so the queue's owner may go away meanwhile.
    QCoro::Task<> runPrepared(Prepare prepare, Install install, InstallationFailed installationFailed);

private:
    struct State {
        QList<Item> items;
        bool running = false;

        void complete(qsizetype index, const QString &message);
        void fail(qsizetype index, const QString &message);
    };

    static QCoro::Task<> run(std::shared_ptr<State> state, Prepare prepare, Install install,
                             InstallationFailed installationFailed);

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace quillon
