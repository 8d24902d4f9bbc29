#pragma once
// What a batch install of a whole membership covers and what it tells the user: the
// scope of each membership, which library products go in, the time estimate, the
// confirmation and the closing summary. Pure functions; the run lives in BatchInstall.cpp.

#include "platform/Alerts.h"
#include "records/ReplyRecords.h"

#include <QList>
#include <QString>

namespace quillon {

/// The batch of one kind of membership.
struct BatchInstallScope final {
    QString name;            ///< inside texts: "FCP 模板", "全站可安装内容", …
    QString membershipTitle; ///< the summary's product line: "FCP 模板会员", …
    QString unit;            ///< "组模板" or "款插件"
    QString sentinel;        ///< `installingProductKey` while the batch runs; ends in "_batch__"
    bool pluginsOnly = false;
    bool deduplicatesByInstallGroup = false;
};

/// The scope of a canonical membership type: fcp_templates, all_site, all_plugins, or
/// the Tovel scope for anything else.
const BatchInstallScope &batchInstallScope(const QString &activeMembershipType);

/// Whether a library product goes into a batch: never a cloud-drive, partner or manual
/// delivery (a missing delivery type counts as ""); only type "plugin" when `pluginsOnly`.
bool belongsInBatch(const MemberProduct &product, bool pluginsOnly);

/// The first product of each install group (or, without one, of each product key), in order.
QList<MemberProduct> deduplicatedByInstallGroup(const QList<MemberProduct> &products);

/// The library's products that the scope installs, in library order.
QList<MemberProduct> batchProducts(const QList<MemberProduct> &library, const BatchInstallScope &scope);

/// Products that come with a cloud-drive supplement the batch leaves out.
int hybridCount(const QList<MemberProduct> &products);

/// Whole minutes: low = max(⌈0.35 n⌉, 2), high = max(⌈0.9 n⌉, low + 2).
struct BatchTimeEstimate final {
    int low = 0;
    int high = 0;
    friend bool operator==(const BatchTimeEstimate &, const BatchTimeEstimate &) = default;
};
BatchTimeEstimate batchTimeEstimate(int count);

/// The confirmation asked before anything starts; button 0 starts the batch.
AlertRequest batchConfirmation(const BatchInstallScope &scope, int count, int hybrid);

/// What a finished batch publishes.
struct BatchSummary final {
    QString lastInstalledProduct;
    QString lastDeliveryMessage;
    QString installMessage;
    QString status;
    QString deliverySuccessTitle;
};

/// The summary of a batch of `count` products of which `handedOff` went to the Installer
/// app, `installed` were installed and `failed` got a failure line.
BatchSummary batchSummary(const BatchInstallScope &scope, int count, int hybrid, int handedOff, int installed,
                          int failed);

} // namespace quillon
