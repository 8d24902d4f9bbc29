#include "records/MembershipTypes.h"

#include <QSet>

namespace quillon {
namespace {

struct Rule {
    const char *result;
    QStringList keys;
    QStringList types;
    QString nameContains;
};

const QList<Rule> &rules() {
    static const QList<Rule> table{
        {"all_site", {QStringLiteral("vrel-all-site-lifetime")},
         {QStringLiteral("all_site"), QStringLiteral("all_site_member")}, QStringLiteral("全站会员")},
        {"fcp_templates", {QStringLiteral("fcp-template-membership")},
         {QStringLiteral("fcp_templates"), QStringLiteral("fcp_template_member"), QStringLiteral("template_membership")},
         QStringLiteral("FCP 模板会员")},
        {"tovel_subtitles", {QStringLiteral("tovel-subtitle-membership")},
         {QStringLiteral("tovel_subtitles"), QStringLiteral("tovel_subtitle_member")}, QStringLiteral("Tovel会员")},
        {"all_plugins", {QStringLiteral("vrel-all-plugins-lifetime")},
         {QStringLiteral("all_plugins"), QStringLiteral("all_plugin_member")}, QStringLiteral("全插件")},
    };
    return table;
}

} // namespace

QString canonicalMembershipType(const std::optional<QString> &productType, const std::optional<QString> &productKey,
                                const std::optional<QString> &productName) {
    const QString t = productType.value_or(QString()).toLower();
    const QString k = productKey.value_or(QString()).toLower();
    const QString n = productName.value_or(QString());
    for (const Rule &rule : rules()) {
        if (rule.keys.contains(k) || rule.types.contains(t) || n.contains(rule.nameContains)) {
            return QString::fromLatin1(rule.result);
        }
    }
    if (productType) {
        return *productType;
    }
    return QStringLiteral("plugin");
}

QString canonicalMembershipType(const ManagerLicense &license) {
    return canonicalMembershipType(license.productType, license.productKey, license.productName);
}

bool isMemberLibraryType(const QString &type) {
    return type == QLatin1String("all_site") || type == QLatin1String("all_plugins") ||
           type == QLatin1String("tovel_subtitles") || type == QLatin1String("fcp_templates");
}

QList<ManagerLicense> AccountPurchaseList::unique(const QList<ManagerLicense> &licenses) {
    QList<ManagerLicense> result;
    QSet<QString> seen;
    for (const ManagerLicense &license : licenses) {
        if (!license.productKey || license.productKey->trimmed().isEmpty()) {
            continue;
        }
        if (seen.contains(*license.productKey)) {
            continue;
        }
        seen.insert(*license.productKey);
        result.append(license);
    }
    return result;
}

QString memberLibraryTitleFor(const QString &type) {
    if (type == QLatin1String("all_site")) return QStringLiteral("Vrel 全站会员库");
    if (type == QLatin1String("all_plugins")) return QStringLiteral("Vrel 全插件会员库");
    if (type == QLatin1String("tovel_subtitles")) return QStringLiteral("Tovel插件库");
    if (type == QLatin1String("fcp_templates")) return QStringLiteral("FCP 模板会员库");
    return QStringLiteral("会员插件库");
}

QString memberLibrarySubtitleFor(const QString &type) {
    if (type == QLatin1String("all_site")) return QStringLiteral("插件、模板和资源均可按需领取；合作商品每款限领 1 份激活码");
    if (type == QLatin1String("all_plugins")) return QStringLiteral("全部会员插件可逐个安装，也可一次安装全部");
    if (type == QLatin1String("tovel_subtitles")) return QStringLiteral("可逐个安装，也可一次安装全部Tovel");
    if (type == QLatin1String("fcp_templates")) return QStringLiteral("7 款模板可按需安装，也可一次安装全部");
    return QStringLiteral("会员权益内的插件可按需逐个下载和安装");
}

QString membershipLibraryTitleFor(const QString &type) {
    if (type == QLatin1String("all_site")) return QStringLiteral("Vrel 全站会员库");
    if (type == QLatin1String("tovel_subtitles")) return QStringLiteral("Tovel插件库");
    if (type == QLatin1String("fcp_templates")) return QStringLiteral("FCP 模板会员库");
    return QStringLiteral("Vrel 全插件会员库");
}

QString membershipLibrarySubtitleFor(const QString &type) {
    if (type == QLatin1String("all_site")) return QStringLiteral("插件、模板与资源全站权益");
    if (type == QLatin1String("tovel_subtitles")) return QStringLiteral("可一键安装全部Tovel");
    if (type == QLatin1String("fcp_templates")) return QStringLiteral("7 款模板，底层三组安装包");
    return QStringLiteral("可逐个安装，也可一键安装全部");
}

} // namespace quillon
