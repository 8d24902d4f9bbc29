#include "ui/ContentView.h"

#include "model/PluginManager.h"
#include "platform/desktop/PlainTextWidgets.h"
#include "platform/DisplayText.h"
#include "ui/AccountPanel.h"
#include "ui/InstalledPluginsPanel.h"
#include "ui/MemberLibraryPanel.h"
#include "ui/SheetBinding.h"
#include "ui/Sheets.h"
#include "ui/UpdatePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillon {
namespace {
constexpr int kSidebarWidth = 240;
} // namespace

ContentView::ContentView(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_sections(new QTabWidget(this)), m_status(new QLabel(this)) {
    // A fixed width: the panels' wrapping status lines must not push the content about.
    auto *sidebarPanel = new QWidget(this);
    sidebarPanel->setObjectName(QStringLiteral("sidebar"));
    sidebarPanel->setFixedWidth(kSidebarWidth);
    auto *sidebar = new QVBoxLayout(sidebarPanel);
    sidebar->setContentsMargins(0, 0, 0, 0);
    sidebar->addWidget(new AccountPanel(manager, sidebarPanel));
    sidebar->addStretch(1);
    sidebar->addWidget(new UpdatePanel(manager, sidebarPanel));

    m_sections->addTab(new MemberLibraryPanel(manager, this), QStringLiteral("会员插件库"));
    m_sections->addTab(new InstalledPluginsPanel(manager, this), QStringLiteral("已安装插件"));

    auto *main = new QVBoxLayout;
    main->addWidget(m_sections, 1);
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText); // names products and repeats the service's words
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    main->addWidget(m_status);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(sidebarPanel, 0);
    layout->addLayout(main, 1);

    PluginManager *m = &manager;
    m_installSuccess = new SheetBinding(
        manager, this, [m] { return m->showInstallSuccess(); }, [m](bool v) { m->setShowInstallSuccess(v); },
        [m](QWidget *host) {
            // The title is the alert's headline; the message stands below it.
            auto *alert = new QMessageBox(QMessageBox::Information, m->deliverySuccessTitle(),
                                          m->deliverySuccessTitle(), QMessageBox::NoButton, host);
            alert->setInformativeText(displayNote(installSuccessMessage(*m)));
            alert->addButton(QStringLiteral("好的"), QMessageBox::AcceptRole);
            keepPlainText(*alert);
            return alert;
        });
    m_locationGuide = new SheetBinding(
        manager, this, [m] { return m->showLocationGuide(); }, [m](bool v) { m->setShowLocationGuide(v); },
        [m](QWidget *host) { return makeLocationGuideSheet(*m, host); });
    m_netdiskDelivery = new SheetBinding(
        manager, this, [m] { return m->showNetdiskDelivery(); }, [m](bool v) { m->setShowNetdiskDelivery(v); },
        [m](QWidget *host) { return makeNetdiskDeliverySheet(*m, host); });
    // Closing the sign-in sheet in any way (Escape, its window's close, quitting) cancels
    // the sign-in like its cancel button: no poll goes on behind a closed sheet.
    m_wechatLogin = new SheetBinding(
        manager, this, [m] { return m->showWechatLogin(); },
        [m](bool v) { v ? m->setShowWechatLogin(true) : m->cancelWechatLogin(); },
        [m](QWidget *host) { return makeWechatLoginSheet(*m, host); });

    refreshNow();
}

QString ContentView::installSuccessMessage(const PluginManager &manager) {
    if (!manager.lastDeliveryMessage().isEmpty()) {
        return manager.lastDeliveryMessage();
    }
    return manager.lastInstalledProduct() + QStringLiteral("已安装完成。");
}

void ContentView::refresh() {
    QStringList lines{displayLine(m_manager.statusMessage())};
    if (!m_manager.installMessage().isEmpty()) {
        lines.append(displayLine(m_manager.installMessage()));
    }
    m_status->setText(lines.join(QLatin1Char('\n')));
}

} // namespace quillon
