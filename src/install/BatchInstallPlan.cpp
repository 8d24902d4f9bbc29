#include "install/BatchInstallPlan.h"

#include <QSet>

#include <algorithm>

namespace quillon {

const BatchInstallScope &batchInstallScope(const QString &activeMembershipType) {
    static const BatchInstallScope templates{QStringLiteral("FCP 模板"), QStringLiteral("FCP 模板会员"),
                                             QStringLiteral("组模板"), QStringLiteral("__fcp_templates_batch__"),
                                             false, true};
    static const BatchInstallScope allSite{QStringLiteral("全站可安装内容"), QStringLiteral("Vrel 全站会员"),
                                           QStringLiteral("款插件"), QStringLiteral("__all_site_batch__"), true, false};
    static const BatchInstallScope allPlugins{QStringLiteral("会员插件"), QStringLiteral("Vrel 全插件终身会员"),
                                              QStringLiteral("款插件"), QStringLiteral("__all_plugins_batch__"), true,
                                              false};
    static const BatchInstallScope tovel{QStringLiteral("Tovel"), QStringLiteral("Tovel会员插件"),
                                         QStringLiteral("款插件"), QStringLiteral("__tovel_subtitles_batch__"), false,
                                         false};
    if (activeMembershipType == QStringLiteral("fcp_templates")) {
        return templates;
    }
    if (activeMembershipType == QStringLiteral("all_site")) {
        return allSite;
    }
    if (activeMembershipType == QStringLiteral("all_plugins")) {
        return allPlugins;
    }
    return tovel;
}

bool belongsInBatch(const MemberProduct &product, bool pluginsOnly) {
    static const QSet<QString> excluded{QStringLiteral("baidu_pan"), QStringLiteral("partner_pool"),
                                        QStringLiteral("manual")};
    if (excluded.contains(product.deliveryType.value_or(QString()))) {
        return false;
    }
    return !pluginsOnly || product.productType == QStringLiteral("plugin");
}

QList<MemberProduct> deduplicatedByInstallGroup(const QList<MemberProduct> &products) {
    QList<MemberProduct> kept;
    QSet<QString> seen;
    for (const MemberProduct &product : products) {
        const QString key = product.installGroup.value_or(product.productKey);
        if (!seen.contains(key)) {
            seen.insert(key);
            kept.append(product);
        }
    }
    return kept;
}

QList<MemberProduct> batchProducts(const QList<MemberProduct> &library, const BatchInstallScope &scope) {
    QList<MemberProduct> products;
    for (const MemberProduct &product : library) {
        if (belongsInBatch(product, scope.pluginsOnly)) {
            products.append(product);
        }
    }
    return scope.deduplicatesByInstallGroup ? deduplicatedByInstallGroup(products) : products;
}

int hybridCount(const QList<MemberProduct> &products) {
    return int(std::count_if(products.begin(), products.end(), [](const MemberProduct &product) {
        return product.deliveryType == QStringLiteral("hybrid");
    }));
}

BatchTimeEstimate batchTimeEstimate(int count) {
    // Whole minutes rounded up, in integers: ⌈n × 35 / 100⌉ and ⌈n × 90 / 100⌉.
    const auto ceilingPercent = [count](int percent) { return (count * percent + 99) / 100; };
    const int low = std::max(ceilingPercent(35), 2);
    return {low, std::max(ceilingPercent(90), low + 2)};
}

AlertRequest batchConfirmation(const BatchInstallScope &scope, int count, int hybrid) {
    const BatchTimeEstimate estimate = batchTimeEstimate(count);
    QStringList paragraphs{
        QStringLiteral("将自动下载并安装 %1 %2，预计约 %3–%4 分钟，实际时间取决于网速与 Mac 性能。")
            .arg(count)
            .arg(scope.unit)
            .arg(estimate.low)
            .arg(estimate.high),
        QStringLiteral("下载阶段可以暂停或终止；进入系统安装阶段后，为避免插件损坏将不能中断。")};
    if (hybrid > 0) {
        paragraphs.append(
            QStringLiteral("其中 %1 项含百度网盘补充内容，不包含在自动安装中；请在对应项目点击“领取网盘内容”单独下载。")
                .arg(hybrid));
    }
    AlertRequest alert;
    alert.style = AlertRequest::Style::Informational;
    alert.messageText = QStringLiteral("一键安装全部") + scope.name;
    alert.informativeText = paragraphs.join(QStringLiteral("\n\n"));
    alert.buttons = {QStringLiteral("开始安装"), QStringLiteral("取消")};
    return alert;
}

BatchSummary batchSummary(const BatchInstallScope &scope, int count, int hybrid, int handedOff, int installed,
                          int failed) {
    BatchSummary summary;
    summary.lastInstalledProduct = scope.membershipTitle;
    if (handedOff == 0) {
        summary.lastDeliveryMessage = QStringLiteral("全部 %1 %2已自动安装完成。").arg(count).arg(scope.unit);
        summary.installMessage = QStringLiteral("✓ 全部插件已自动安装完成。");
    } else {
        summary.lastDeliveryMessage = QStringLiteral("已自动安装普通插件；%1 组 FCP 模板已交给 macOS 安装器。").arg(handedOff);
        summary.installMessage = QStringLiteral("✓ 普通插件已自动安装；请在 macOS 安装器完成 FCP 模板安装。");
    }
    if (hybrid > 0) {
        summary.status = QStringLiteral("自动安装完成；百度网盘补充内容请在对应项目单独领取");
    } else if (handedOff > 0) {
        summary.status = QStringLiteral("普通插件已自动安装；FCP 模板已交给系统");
    } else {
        summary.status = QStringLiteral("全部自动安装完成");
    }
    summary.deliverySuccessTitle = handedOff > 0 ? QStringLiteral("安装已启动") : QStringLiteral("安装完成");
    if (failed > 0) {
        // Never "all installed" while some did not: every line that would claim so says what happened.
        const QString ended = QStringLiteral("安装结束：%1 项成功，%2 项未完成。").arg(installed).arg(failed);
        summary.lastDeliveryMessage = ended;
        summary.installMessage = ended;
        summary.status = ended;
    }
    return summary;
}

} // namespace quillon
