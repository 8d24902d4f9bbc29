// The partner product codes handed out with partner deliveries: kept with the install
// records, shown on the library row's button and in an alert.

#include "install/Installs.h"
#include "platform/DisplayText.h"

namespace quillon {

void Installs::loadClaimedPartnerActivationCodes() {
    m_host.setClaimedPartnerActivationCodes(m_host.inventory().records().partnerCodes());
}

void Installs::recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey) {
    if (!productKey || productKey->isEmpty() || code.isEmpty()) {
        return;
    }
    PartnerCodes codes = m_host.claimedPartnerActivationCodes();
    codes.insert(*productKey, code);
    m_host.setClaimedPartnerActivationCodes(codes);
    m_host.inventory().records().savePartnerCodes(codes);
}

// The stored code is what the service sent; the button, the pasteboard and the alert go by
// what of it can be shown.
bool Installs::hasClaimedPartnerActivationCode(const MemberProduct &product) const {
    return !displayLine(m_host.claimedPartnerActivationCodes().value(product.productKey)).isEmpty();
}

void Installs::showClaimedPartnerActivationCode(const MemberProduct &product) {
    const QString code = displayLine(m_host.claimedPartnerActivationCodes().value(product.productKey));
    if (code.isEmpty()) {
        return;
    }
    const ModelEnvironment &environment = m_host.environment();
    environment.pasteboard->setString(code);
    AlertRequest alert;
    alert.style = AlertRequest::Style::Informational;
    alert.messageText = QStringLiteral("合作方激活码");
    alert.informativeText = displayLine(product.productName) + QStringLiteral("\n\n") + code +
                            QStringLiteral("\n\n激活码已复制，可直接粘贴使用。");
    alert.buttons = {QStringLiteral("好的")};
    environment.alerts->runModal(alert);
}

} // namespace quillon
