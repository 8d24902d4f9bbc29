#include "core/Account.h"
#include "core/AccountTexts.h"
#include "core/ServiceClient.h"
#include "platform/Logging.h"
#include "records/MembershipTypes.h"

namespace quillon {
namespace {

const QString kLoadingLibrary = QStringLiteral("正在加载会员插件库…");
const QString kLoadingMembership = QStringLiteral("正在加载会员权益…");
const QString kUnreachable = QStringLiteral("会员插件库暂时无法连接，请稍后重试。");
const QString kLoadFailed = QStringLiteral("会员插件库加载失败。");
const QString kEmpty = QStringLiteral("当前会员权益中还没有可安装的内容。");

bool inAccountMode(AccountHost &model) {
    return model.selectedMembershipUsesWechatAccount() && model.account().hasWechatAccount();
}

QCoro::Task<> loadLibrary(ModelGuard<AccountHost> model) {
    // Loads overlap (a membership picked, another, then the first again): only the newest
    // one's reply, success or failure, may change the library.
    const quint64 generation = model->memberLibraryLoadGeneration() + 1;
    model->setMemberLibraryLoadGeneration(generation);
    model->setMemberLibraryMessage(kLoadingLibrary);
    if (!inAccountMode(*model.get())) {
        // No request is defined without a signed-in account; say what is missing
        // rather than leave the loading line standing.
        model->setMemberLibraryMessage(signInFirstText());
        co_return;
    }
    // The selection this load is for: its reply applies only while it is still the selection.
    const QString token = *model->managerAccessToken();
    const std::optional<QString> membershipKey = model->activatedProductKey();
    ServiceBody body{{QStringLiteral("deviceId"), model->account().deviceIdentifier()}};
    if (membershipKey) {
        body.insert(QStringLiteral("membershipProductKey"), *membershipKey);
    }

    std::optional<ServiceReply> raw;
    try {
        const QUrl endpoint = model->account().endpointURL(QStringLiteral("api/manager/library"));
        ServiceRequest request =
            makeServiceRequest(endpoint, body, token, model->environment().timing.serviceRequestTimeout);
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
    model->memberProductsLoaded();
    const qsizetype count = model->memberProducts().size();
    if (count > 0) {
        const QString unit = model->account().activeMembershipType() == QLatin1String("fcp_templates")
                                 ? QStringLiteral("款模板")
                                 : QStringLiteral("款会员插件");
        model->setMemberLibraryMessage(QStringLiteral("可安装 %1 %2。").arg(count).arg(unit));
    } else {
        model->setMemberLibraryMessage(kEmpty);
    }
}

} // namespace

QList<ManagerLicense> Account::memberLibraryMemberships() const {
    QList<ManagerLicense> result;
    for (const ManagerLicense &license : m_host.accountMemberships()) {
        if (isMemberLibraryType(canonicalMembershipType(license))) {
            result.append(license);
        }
    }
    return result;
}

QString Account::activeMembershipType() const {
    return canonicalMembershipType(m_host.activatedProductType(), m_host.activatedProductKey(),
                                   m_host.activatedProduct());
}

bool Account::hasMemberLibraryLicense() const {
    return isMemberLibraryType(activeMembershipType()) || !memberLibraryMemberships().isEmpty();
}

bool Account::canInstallAllMemberProducts() const {
    return isMemberLibraryType(activeMembershipType()) && !m_host.memberProducts().isEmpty();
}

QString Account::memberLibraryTitle() const { return memberLibraryTitleFor(activeMembershipType()); }

QString Account::memberLibrarySubtitle() const { return memberLibrarySubtitleFor(activeMembershipType()); }

QCoro::Task<> Account::loadMemberLibrary() { return loadLibrary(guard()); }

void Account::selectMemberLibrary(const ManagerLicense &license) {
    m_host.setSelectedMembershipUsesWechatAccount(true);
    m_host.setActivatedProductKey(license.productKey);
    m_host.setActivatedProduct(license.productName);
    m_host.setActivatedProductType(canonicalMembershipType(license));
    m_host.setMemberProducts({});
    m_host.setMemberLibraryMessage(kLoadingMembership);
    loadMemberLibrary();
}

void Account::reloadMemberLibrary() {
    if (hasMemberLibraryLicense() && m_host.selectedMembershipUsesWechatAccount() && hasWechatAccount()) {
        loadMemberLibrary();
    }
}

} // namespace quillon
