#include "install/ActivationInstallQueue.h"

#include "install/Installs.h"
#include "install/InstallTexts.h"
#include "platform/BusyFlag.h"
#include "platform/Logging.h"
#include "platform/Tasks.h"
#include "records/MembershipTypes.h"

#include <QFile>
#include <QRegularExpression>

namespace quillon {
namespace {

const QString kColon = QStringLiteral("：");
const QString kSystemInstallIncomplete = QStringLiteral("系统安装未完成，请重试该项。");
const QString kMembershipActivated = QStringLiteral("已激活，请在会员库选择安装内容");
const QString kActivatedButIncomplete = QStringLiteral("已激活，安装未完成：");

/// An item's result line, and its line in the location guide's failures: one line each,
/// whatever the message holds (a service's text may break lines).
QString resultLine(const QString &productName, const QString &message) {
    QString line = productName + kColon + message;
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n\\x{0b}\\x{0c}\\x{85}\\x{2028}\\x{2029}]+\\s*"));
    line.replace(lineBreaks, QStringLiteral(" "));
    return line.trimmed();
}

/// One package handed back by a prepare step, waiting for the shared install.
struct Collected {
    qsizetype index;
    QString path;
    std::function<QString()> commit;
};

} // namespace

bool ActivationInstallQueue::hasPendingItems() const {
    return std::any_of(m_state->items.begin(), m_state->items.end(), [](const Item &item) { return !item.completed; });
}

QString ActivationInstallQueue::summary() const {
    QStringList lines;
    for (const Item &item : m_state->items) {
        if (!item.result.isEmpty()) {
            lines.append(item.result);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void ActivationInstallQueue::reset(const ActivationInstallAuthorization &authorization) {
    if (m_state->running) {
        return;
    }
    m_state->items = {Item{authorization, false, QString()}};
}

void ActivationInstallQueue::append(const ActivationInstallAuthorization &authorization) {
    if (m_state->running) {
        return;
    }
    m_state->items.append(Item{authorization, false, QString()});
}

void ActivationInstallQueue::State::complete(qsizetype index, const QString &message) {
    if (index < 0 || index >= items.size()) {
        return;
    }
    Item &item = items[index];
    item.completed = true;
    item.result = resultLine(item.authorization.productName, message);
}

void ActivationInstallQueue::State::fail(qsizetype index, const QString &message) {
    if (index < 0 || index >= items.size()) {
        return;
    }
    Item &item = items[index];
    item.result = resultLine(item.authorization.productName, message);
}

void ActivationInstallQueue::complete(qsizetype index, const QString &message) { m_state->complete(index, message); }

void ActivationInstallQueue::fail(qsizetype index, const QString &message) { m_state->fail(index, message); }

QCoro::Task<> ActivationInstallQueue::runPrepared(Prepare prepare, Install install,
                                                  InstallationFailed installationFailed) {
    return run(m_state, std::move(prepare), std::move(install), std::move(installationFailed));
}

QCoro::Task<> ActivationInstallQueue::run(std::shared_ptr<State> state, Prepare prepare, Install install,
                                          InstallationFailed installationFailed) {
    if (state->running) {
        co_return;
    }
    state->running = true;
    QList<Collected> collected;
    bool stopped = false;

    const qsizetype count = state->items.size();
    for (qsizetype i = 0; i < count && !stopped; ++i) {
        if (state->items.at(i).completed) {
            continue;
        }
        const ActivationInstallAuthorization authorization = state->items.at(i).authorization;
        try {
            auto preparing = prepare(authorization);
            const ActivationInstallDelivery delivery = co_await preparing;
            if (delivery.isPackage()) {
                collected.append(Collected{i, delivery.packagePath(), delivery.commit()});
                state->items[i].result = resultLine(authorization.productName, waitingForSharedInstallText());
            } else {
                state->complete(i, delivery.message());
            }
        } catch (const TaskCancelled &) {
            stopped = true;
        } catch (...) {
            state->fail(i, failureDescription(std::current_exception()));
        }
    }

    if (!stopped && !collected.isEmpty()) {
        QStringList paths;
        for (const Collected &package : collected) {
            paths.append(package.path);
        }
        std::optional<QSet<int>> installed;
        QString failure;
        try {
            auto installing = install(paths);
            installed = co_await installing;
        } catch (const TaskCancelled &) {
            stopped = true;
        } catch (...) {
            failure = failureDescription(std::current_exception());
        }
        for (qsizetype p = 0; p < collected.size() && !stopped; ++p) {
            const Collected &package = collected.at(p);
            const ActivationInstallAuthorization &authorization = state->items.at(package.index).authorization;
            if (installed && installed->contains(int(p))) {
                state->complete(package.index, package.commit());
                continue;
            }
            const QString message = installed ? kSystemInstallIncomplete : failure;
            state->fail(package.index, message);
            installationFailed(authorization, message);
        }
    }

    // The packages were downloaded for this run alone.
    QStringList files;
    for (const Collected &package : collected) {
        files.append(package.path);
    }
    collected.clear(); // with them the commit steps, and the runs those hold
    const auto removeAll = [files] {
        for (const QString &file : files) {
            if (QFile::exists(file) && !QFile::remove(file)) {
                qCWarning(lcInstall) << "a queued package could not be deleted:" << file;
            }
        }
    };
    if (stopped) {
        // The owner is gone, perhaps with the event loop: the files go now.
        qCInfo(lcInstall) << "the install queue stopped: its owner is gone";
        removeAll();
    } else {
        // Large files are unlinked off the main thread.
        auto removing = runBlocking(removeAll);
        co_await removing;
    }
    state->running = false;
}

// ---- The model's side: a bought product, and the run with its three steps ----

namespace {

void addLocationFailure(InstallHost &model, const QString &productName, const QString &message) {
    model.inventory().addInstallFailure(resultLine(productName, message));
}

void requireModel(const ModelGuard<InstallHost> &model) {
    if (!model) {
        throw TaskCancelled();
    }
}

QCoro::Task<ActivationInstallDelivery> prepareItem(ModelGuard<InstallHost> model,
                                                   ActivationInstallAuthorization item, std::stop_token token) {
    requireModel(model);
    if (isMemberLibraryType(item.productType)) {
        model->setSelectedMembershipUsesWechatAccount(item.accountMode);
        model->setActivatedProductKey(item.productKey);
        model->setActivatedProduct(item.productName);
        model->setActivatedProductType(item.productType);
        auto loading = model->account().loadMemberLibrary();
        co_await loading;
        requireModel(model);
        co_return ActivationInstallDelivery::completed(kMembershipActivated);
    }

    // With several items the package waits for the one shared prompt; a single item is
    // installed by the single install itself.
    auto slot = std::make_shared<std::optional<std::pair<QString, std::function<QString()>>>>();
    PreparePackage handBack;
    if (model->installs().activationInstallQueue().items().size() >= 2) {
        // Weakly: the install run keeps this callback, and the commit put in the slot keeps
        // that run; a strong hold would keep the three alive for ever.
        handBack = [weakSlot = std::weak_ptr(slot)](const QString &path, std::function<QString()> commit) {
            if (const auto held = weakSlot.lock()) {
                held->emplace(path, std::move(commit));
            }
        };
    }
    auto performing = model->installs().performDownloadAndInstall(item.productKey, item.productName, false,
                                                                  item.accountMode, item.productKey,
                                                                  std::move(handBack), token);
    const bool succeeded = co_await performing;
    requireModel(model);
    if (!succeeded) {
        addLocationFailure(*model.get(), item.productName, model->installMessage());
        throw ActivationInstallFailure(kActivatedButIncomplete + model->installMessage());
    }
    if (*slot) {
        co_return ActivationInstallDelivery::package((*slot)->first, (*slot)->second);
    }
    // A delivery the user still looks at finishes when its sheet or alert has closed.
    const QString note = model->installMessage();
    while (model->showNetdiskDelivery() || model->showInstallSuccess()) {
        auto wait = sleepFor(model->environment().timing.batchPauseCheck, token);
        co_await wait;
        requireModel(model);
    }
    co_return ActivationInstallDelivery::completed(note);
}

QCoro::Task<QSet<int>> installCollected(ModelGuard<InstallHost> model, QStringList paths) {
    requireModel(model);
    const QString stage = QStringLiteral("请完成一次系统授权，随后将依次安装 %1 个插件…").arg(paths.size());
    model->setShowsSingleInstallProgress(true);
    model->setSingleInstallShowsPercent(false);
    model->setSingleInstallStage(stage);
    model->setInstallMessage(stage);
    const PrivilegedTools tools = model->installs().privilegedTools();
    auto installing = runBlocking([paths, tools] { return Installs::installBatchWithResults(paths, tools); });
    try {
        QSet<int> installed = co_await installing;
        requireModel(model);
        co_return installed;
    } catch (...) {
        requireModel(model);
        throw;
    }
}

/// Which entitlement the model shows and installs for: the membership picker's choice, or a
/// purchase while its own queue run lasts.
struct EntitlementSelection final {
    std::optional<QString> productKey;
    std::optional<QString> productName;
    QString productType;
    bool accountMode = false;

    static EntitlementSelection of(const InstallHost &model) {
        return {model.activatedProductKey(), model.activatedProduct(), model.activatedProductType(),
                model.selectedMembershipUsesWechatAccount()};
    }
    void applyTo(InstallHost &model) const {
        model.setSelectedMembershipUsesWechatAccount(accountMode);
        model.setActivatedProductKey(productKey);
        model.setActivatedProduct(productName);
        model.setActivatedProductType(productType);
    }
    friend bool operator==(const EntitlementSelection &, const EntitlementSelection &) = default;
};

/// A purchase's run puts the purchase in the membership's place; once the run is over the
/// membership comes back, unless something else was chosen meanwhile (the picker, a sync,
/// a sign-out), so that the picker, the library's title and its rows agree again.
struct SelectionToRestore final {
    EntitlementSelection during;
    EntitlementSelection after;
};

QCoro::Task<> runActivationQueue(ModelGuard<InstallHost> model, std::optional<SelectionToRestore> restore) {
    BusyFlag working(model, &InstallHost::setIsWorking);
    CancelledWithOwner life(model.owner());
    const std::stop_token token = life.token();
    auto running = model->installs().activationInstallQueue().runPrepared(
        [model, token](ActivationInstallAuthorization item) { return prepareItem(model, std::move(item), token); },
        [model](QStringList paths) { return installCollected(model, std::move(paths)); },
        [model](const ActivationInstallAuthorization &item, const QString &message) {
            if (model) {
                addLocationFailure(*model.get(), item.productName, message);
            }
        });
    co_await running;
    if (!model) {
        co_return;
    }
    ActivationInstallQueue &queue = model->installs().activationInstallQueue();
    model->setShowsSingleInstallProgress(false);
    model->setActivationInstallFinished(!queue.hasPendingItems());
    model->setActivationInstallResults(queue.summary());
    model->setInstallMessage(model->activationInstallResults());
    model->setStatusMessage(model->activationInstallResults());
    if (restore && EntitlementSelection::of(*model.get()) == restore->during) {
        restore->after.applyTo(*model.get());
    }
    working.lower();
    model->setActivationInstallRunning(false);
    model->inventory().finishLocationCollection();
}

/// The start of every run: the flags, an empty summary and the location collection.
void beginRun(InstallHost &model) {
    model.setActivationInstallFinished(false);
    model.setActivationInstallResults(QString());
    model.setInstallMessage(QString());
    model.setShowsSingleInstallProgress(false);
    model.setIsWorking(true);
    model.setActivationInstallRunning(true);
    model.inventory().beginLocationCollection(false);
}

} // namespace

void Installs::installAccountPurchase(const ManagerLicense &purchase) {
    if (!m_host.account().hasWechatAccount() || m_host.isWorking() || !purchase.productKey) {
        return;
    }
    const bool held = std::any_of(m_host.accountPurchases().begin(), m_host.accountPurchases().end(),
                                  [&](const ManagerLicense &each) { return each.productKey == purchase.productKey; });
    if (!held) {
        return;
    }
    const EntitlementSelection before = EntitlementSelection::of(m_host);
    const EntitlementSelection bought{purchase.productKey, purchase.productName, canonicalMembershipType(purchase), true};
    bought.applyTo(m_host);
    m_host.setActivationInstallFinished(false);
    m_activationInstallQueue.reset({purchase.productKey, purchase.productName, m_host.activatedProductType(), true});
    if (!canActivateAndInstall()) {
        return;
    }
    // A bought membership is meant to be shown from now on; any other purchase only for its run.
    std::optional<SelectionToRestore> restore;
    if (!isMemberLibraryType(bought.productType)) {
        restore = SelectionToRestore{bought, before};
    }
    beginRun(m_host);
    runActivationQueue(guard(), restore);
}

bool Installs::canActivateAndInstall() const {
    return !m_host.isWorking() && !m_host.activationInstallFinished() &&
           (m_activationInstallQueue.hasPendingItems() ||
            (m_host.activatedProduct() && m_host.account().hasWechatAccount()));
}

void Installs::activateAndInstall() {
    if (!canActivateAndInstall()) {
        return;
    }
    if (!m_activationInstallQueue.hasPendingItems()) {
        // canActivateAndInstall holds, so an entitlement is selected.
        const bool accountMode = m_host.selectedMembershipUsesWechatAccount() && m_host.account().hasWechatAccount();
        m_activationInstallQueue.reset({m_host.activatedProductKey(), m_host.activatedProduct().value_or(QString()),
                                        m_host.activatedProductType(), accountMode});
    }
    beginRun(m_host);
    runActivationQueue(guard(), std::nullopt);
}

} // namespace quillon
