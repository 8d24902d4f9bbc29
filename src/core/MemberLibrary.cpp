#include "core/MembershipTypes.h"
#include "core/PluginManager.h"
#include "core/ServiceClient.h"
#include "platform/Logging.h"

namespace quillon {
namespace {

const QString kLoadingLibrary = QStringLiteral("正在加载会员插件库…");
const QString kLoadingMembership = QStringLiteral("正在加载会员权益…");
const QString kUnreachable = QStringLiteral("会员插件库暂时无法连接，请稍后重试。");
const QString kLoadFailed = QStringLiteral("会员插件库加载失败。");
const QString kEmpty = QStringLiteral("当前会员权益中还没有可安装的内容。");
const QString kSignInFirst = QStringLiteral("请先使用微信扫码登录。");

bool inAccountMode(const PluginManager &model) {
    return model.selectedMembershipUsesWechatAccount() && model.hasWechatAccount();
}

QCoro::Task<> loadLibrary(ModelGuard<PluginManager> model) {
    // Loads overlap (a membership picked, another, then the first again): only the newest
    // one's reply, success or failure, may change the library.
    const quint64 generation = model->memberLibraryLoadGeneration() + 1;
    model->setMemberLibraryLoadGeneration(generation);
    model->setMemberLibraryMessage(kLoadingLibrary);
    if (!inAccountMode(*model.get())) {
        // No request is defined without a signed-in account; say what is missing
        // rather than leave the loading line standing.
        model->setMemberLibraryMessage(kSignInFirst);
        co_return;
    }
    // The selection this load is for: its reply applies only while it is still the selection.
    const QString token = *model->managerAccessToken();
    const std::optional<QString> membershipKey = model->activatedProductKey();
    ServiceBody body{{QStringLiteral("deviceId"), model->deviceIdentifier()}};
    if (membershipKey) {
        body.insert(QStringLiteral("membershipProductKey"), *membershipKey);
    }

    std::optional<ServiceReply> raw;
    try {
        ServiceRequest request = makeServiceRequest(model->endpointURL(QStringLiteral("api/manager/library")), body,
                                                    token, model->environment().timing.serviceRequestTimeout);
        auto sending = postServiceRequest(model->network(), std::move(request));
        raw = co_await sending;
    } catch (const std::exception &error) {
        qCWarning(lcAccount) << "the member library could not be loaded:" << error.what();
    }
    // A reply for a selection that is no longer the model's (another membership picked,
    // signed out, or signed in again as someone else) must not replace the library shown.
    if (!model) {
        co_return;
    }
    if (model->managerAccessToken() != token || model->activatedProductKey() != membershipKey) {
        qCInfo(lcAccount) << "a member library reply for an earlier selection was dropped";
        co_return;
    }
    if (model->memberLibraryLoadGeneration() != generation) {
        qCInfo(lcAccount) << "a member library reply overtaken by a newer load was dropped";
        co_return;
    }
    std::optional<LibraryResponse> reply;
    if (raw && raw->httpStatus) {
        try {
            reply = decodeReply<LibraryResponse>(raw->data);
        } catch (const ReplyDecodingError &error) {
            qCWarning(lcAccount) << "the member library reply is unreadable:" << error.what();
        }
    }
    if (!reply) {
        model->setMemberProducts({});
        model->setMemberLibraryMessage(kUnreachable);
        co_return;
    }
    if (*raw->httpStatus > 299) {
        model->setMemberProducts({});
        model->setMemberLibraryMessage(reply->error.value_or(kLoadFailed));
        co_return;
    }
    model->setMemberProducts(reply->products.value_or(QList<MemberProduct>()));
    model->refreshInstalledPlugins();
    const qsizetype count = model->memberProducts().size();
    if (count > 0) {
        const QString unit = model->activeMembershipType() == QLatin1String("fcp_templates")
                                 ? QStringLiteral("款模板")
                                 : QStringLiteral("款会员插件");
        model->setMemberLibraryMessage(QStringLiteral("可安装 %1 %2。").arg(count).arg(unit));
    } else {
        model->setMemberLibraryMessage(kEmpty);
    }
}

} // namespace

QList<ManagerLicense> PluginManager::memberLibraryMemberships() const {
    QList<ManagerLicense> result;
    for (const ManagerLicense &license : m_accountMemberships) {
        if (isMemberLibraryType(canonicalMembershipType(license))) {
            result.append(license);
        }
    }
    return result;
}

QString PluginManager::activeMembershipType() const {
    return canonicalMembershipType(m_activatedProductType, m_activatedProductKey, m_activatedProduct);
}

bool PluginManager::hasMemberLibraryLicense() const {
    return isMemberLibraryType(activeMembershipType()) || !memberLibraryMemberships().isEmpty();
}

bool PluginManager::canInstallAllMemberProducts() const {
    return isMemberLibraryType(activeMembershipType()) && !m_memberProducts.isEmpty();
}

QString PluginManager::memberLibraryTitle() const { return memberLibraryTitleFor(activeMembershipType()); }

QString PluginManager::memberLibrarySubtitle() const { return memberLibrarySubtitleFor(activeMembershipType()); }

QString PluginManager::membershipLibraryTitle(const ManagerLicense &license) const {
    return membershipLibraryTitleFor(canonicalMembershipType(license));
}

QString PluginManager::membershipLibrarySubtitle(const ManagerLicense &license) const {
    return membershipLibrarySubtitleFor(canonicalMembershipType(license));
}

QCoro::Task<> PluginManager::loadMemberLibrary() { return loadLibrary(ModelGuard<PluginManager>(this)); }

void PluginManager::selectMemberLibrary(const ManagerLicense &license) {
    m_selectedMembershipUsesWechatAccount = true;
    setActivatedProductKey(license.productKey);
    setActivatedProduct(license.productName);
    setActivatedProductType(canonicalMembershipType(license));
    setMemberProducts({});
    setMemberLibraryMessage(kLoadingMembership);
    loadMemberLibrary();
}

void PluginManager::reloadMemberLibrary() {
    if (hasMemberLibraryLicense() && m_selectedMembershipUsesWechatAccount && hasWechatAccount()) {
        loadMemberLibrary();
    }
}

} // namespace quillon
